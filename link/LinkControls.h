#pragma once

#include <string>
#include <vector>

namespace ostrel {

// The hidden controls of the meter link, kept as plain state: they are never shown, and
// only the connection code reads and writes them. Main thread only.
struct LinkControls {
  // USBCon: a speed button in a group of its own that may be raised again; its down state
  // is the link flag.
  bool USBConDown = false;
  // ReadBtn: a speed button that only code clicks; it is never down and holds no state.
  // DevListBox: one entry per plugged-in HID device (the connection code keeps the device
  // object of each entry beside it), and the selected entry, -1 for none.
  std::vector<std::string> DevListBox;
  int DevListBoxItemIndex = -1;
  // HistoryListBox: the link's log lines, never trimmed; each new line becomes the
  // selected one.
  std::vector<std::string> HistoryListBox;
  int HistoryListBoxItemIndex = -1;

  void addHistoryLine(std::string line) {
    HistoryListBox.push_back(std::move(line));
    HistoryListBoxItemIndex = static_cast<int>(HistoryListBox.size()) - 1;
  }
};

}  // namespace ostrel
