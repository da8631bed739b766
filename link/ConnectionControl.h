#pragma once

#include <QTimer>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/HidEvents.h"
#include "link/LinkControls.h"
#include "link/frame/FrameAssembler.h"
#include "link/frame/FrameAssemblerState.h"

namespace ostrel {

class THidDevice;
class THidDeviceController;

// The 10-byte feature report that sets the cable's serial line: report ID 0, 2400 baud as
// 32-bit little-endian, the bridge's line format code 03, four zero bytes.
inline constexpr std::array<std::uint8_t, 10> lineSettingsReport = {0x00, 0x60, 0x09, 0x00, 0x00,
                                                                    0x03, 0x00, 0x00, 0x00, 0x00};
inline constexpr std::string_view cableEntryText = "USB to Serial";
inline constexpr std::string_view cableMissingMessage =
    "USB interface cable is not securely connected, please check and re-try.";
inline constexpr std::string_view connectCaptionText = "Connect";
inline constexpr std::string_view disconnectCaptionText = "Disconnect";

// The device list entry text of a device: its product string, else "Device VID=.... PID=....";
// then " (Serial=...)" when it has a serial number. UTF-8.
std::string DeviceEntryText(THidDevice& device);
// "READ ERROR: <system text> (<code in upper-case hex>)".
std::string readErrorText(std::uint32_t error);

// The window's side of the meter link: keeps the device list in step with the controller,
// picks the cable, connects and disconnects on Panel2 clicks, sends the line settings at every
// toggle and, once frames have flowed, restarts the link every second while they stay away
// (Timer2). Usable without a window: the caption, the information message and the frame path
// go through callbacks.
//
// Main thread only, with a Qt event loop (Timer2, the read hand-offs). The controller and the
// assembler state must outlive this object; the destructor stops reading and gives every device
// back before the controller and the window go away.
class ConnectionControl {
 public:
  struct Callbacks {
    // Decodes one meter frame (44 hex characters); true when it was decoded (accepted).
    std::function<bool(const std::string& meterFrame)> showFrame;
    // Panel2's caption changed.
    std::function<void(const std::string& caption)> captionChanged;
    // Information message box with an OK button.
    std::function<void(const std::string& message)> showInfo;
    // A line was appended to the history list.
    std::function<void(const std::string& line)> historyLine;
    // Whether a listed device is the cable to select; empty: its entry text is "USB to Serial".
    std::function<bool(THidDevice& device, const std::string& entryText)> isCable;
  };

  static constexpr std::chrono::milliseconds timer2Interval{1000};
  static constexpr std::chrono::milliseconds pauseAfterFrame{500};

  // Assigns the controller's handlers (which fills the device list and selects the cable).
  ConnectionControl(THidDeviceController& HidCtl, LinkControls& link,
                    FrameAssemblerState& assemblerState, Callbacks callbacks);
  ~ConnectionControl();
  ConnectionControl(const ConnectionControl&) = delete;
  ConnectionControl& operator=(const ConnectionControl&) = delete;

  // Entry points: the controller's events (HidCtl...) and the link's controls. Each runs on the
  // main thread, from the controller, a click or Timer2.
  //
  // The device list changed (and once when the handlers are assigned): stops reading, gives
  // every listed device back, lists the present ones in DevListBox and selects the cable.
  void HidCtlDeviceChange(THidDeviceController& sender);
  // One device of the controller's walk: checks it out and appends its entry text to
  // DevListBox (entry i selects device i); returns true, so the walk goes on.
  bool HidCtlEnumerate(THidDevice& HidDev, int Idx);
  // A device was plugged in: appends "Arrival of <entry text>" to HistoryListBox.
  void HidCtlArrival(THidDevice& HidDev);
  // A device was pulled: appends "Removal of <entry text>" to HistoryListBox.
  void HidCtlRemoval(THidDevice& HidDev);
  // A read of the reading device failed or could not start (handed over from its read thread):
  // appends readErrorText(Error) to HistoryListBox; the read thread tries again a slice later.
  void HidCtlDeviceDataError(THidDevice& HidDev, std::uint32_t Error);
  // The hidden ReadBtn: stops reading on the selected device (its read thread ends); USBCon,
  // Timer2 and the caption stay as they are.
  void ReadBtnClick();
  // The hidden SetFeature button: sends the 2400-baud line settings to the selected device
  // and logs their bytes in HistoryListBox; without a device, a user's connect (Timer2 idle,
  // USBCon down) shows cableMissingMessage and puts USBCon up again.
  void SetFeatureClick();
  // The hidden link switch USBCon: toggles it (stop reading, line settings, read again when it
  // went down) and sets Panel2's caption to "Disconnect" when down, "Connect" when up.
  void USBConClick();
  // Timer2 ran out (no frame for a second since the last one): toggles USBCon as a retry,
  // leaving the caption; the next tick toggles back, until frames flow or Panel2 is clicked.
  void Timer2Timer();
  // "Connect" / "Disconnect": stops the retries (Timer2) and runs USBConClick, so that the
  // link connects when it is up and disconnects when it is down.
  void Panel2Click();
  // An accepted frame (the decoder's Timer2 hook): Timer2 starts over, while the link flag is
  // down (a frame handled while the link goes off must not bring it back a second later).
  void restartTimer2();

  // Stops reading and gives every listed device back; the link is unusable afterwards.
  void shutdown();

  [[nodiscard]] const std::string& caption() const { return m_caption; }
  [[nodiscard]] bool timer2Active() const { return m_timer2.isActive(); }
  [[nodiscard]] bool reading() const;
  [[nodiscard]] THidDevice* SelectedDevice() const;
  [[nodiscard]] QTimer& timer2() { return m_timer2; }

 private:
  void linkToggle();
  void stopReading();
  void sendLineSettings();
  void reportMissingCable();
  void setCaption(std::string_view caption);
  void addHistoryLine(const std::string& line);
  void clearDeviceList();
  void Read740(THidDevice& HidDev, std::uint8_t ReportID, const std::uint8_t* Data,
               std::uint16_t Size);

  THidDeviceController& m_hidCtl;
  LinkControls& m_link;
  const FrameAssemblerState& m_assemblerState;
  FrameAssembler m_assembler;
  Callbacks m_callbacks;
  std::vector<std::unique_ptr<THidDevice>> m_entryDevices;  // beside m_link.DevListBox
  std::string m_caption{connectCaptionText};
  QTimer m_timer2;
  THidDataEvent m_read740;
  bool m_shutDown = false;
};

}  // namespace ostrel
