// ostrel-uhid-cable: the USB-to-serial cable with a meter behind it, as a virtual
// HID device on /dev/uhid (needs the uhid kernel module and write access to
// /dev/uhid). Stops on SIGINT or SIGTERM, removing the device.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>

#include "sim/uhid/FrameFile.h"
#include "sim/uhid/VirtualCable.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

constexpr char usageText[] =
    "usage: ostrel-uhid-cable --frames FILE [--repeat] [--frame-period-ms MS] [--lead-in-ms MS]\n"
    "                         [--unplug FRAMES:MS[:QUIET_MS]]... [--log FILE] [--serial TEXT]\n"
    "  --frames FILE        meter frames, one per line in hexadecimal\n"
    "  --repeat             play the frames over and over (default: once)\n"
    "  --frame-period-ms    time from one frame's start to the next (default 250)\n"
    "  --lead-in-ms MS      from the line settings to the first frame (default 0)\n"
    "  --unplug FRAMES:MS[:QUIET_MS]\n"
    "                       after FRAMES frames in all, send no data for QUIET_MS\n"
    "                       (default 96), then go away for MS milliseconds\n"
    "  --log FILE           also write the log lines to FILE\n"
    "  --serial TEXT        the cable reports this serial number (HID_UNIQ; default none)\n";

// Whole milliseconds; false for anything else.
bool parseMs(const std::string& text, std::chrono::milliseconds& ms) {
  char* end = nullptr;
  ms = std::chrono::milliseconds(std::strtoul(text.c_str(), &end, 10));
  return !text.empty() && *end == '\0';
}

// FRAMES:MS[:QUIET_MS]
bool parseUnplug(std::string_view text, ostrel::uhid::Unplug& unplug) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  char* end = nullptr;
  const std::string frames(text.substr(0, colon));
  unplug.afterFrames = std::strtoul(frames.c_str(), &end, 10);
  if (frames.empty() || *end != '\0') return false;
  const auto quietColon = text.find(':', colon + 1);
  if (!parseMs(std::string(text.substr(colon + 1, quietColon - colon - 1)), unplug.away))
    return false;
  if (quietColon == std::string_view::npos) return true;
  std::chrono::milliseconds quiet{};
  if (!parseMs(std::string(text.substr(quietColon + 1)), quiet)) return false;
  constexpr long long period = ostrel::uhid::CableLine::reportPeriodUs;
  const long long us = std::chrono::microseconds(quiet).count();
  unplug.quietReports = static_cast<int>(std::max(1LL, (us + period - 1) / period));
  return true;
}

bool parseOptions(int argc, char** argv, ostrel::uhid::CableOptions& options) {
  std::string framesPath;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option == "--repeat") {
      options.repeat = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (option == "--frames") {
      framesPath = value;
    } else if (option == "--frame-period-ms") {
      options.framePeriodUs = static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10) * 1000);
    } else if (option == "--lead-in-ms") {
      if (!parseMs(value, options.leadIn)) return false;
    } else if (option == "--unplug") {
      ostrel::uhid::Unplug unplug;
      if (!parseUnplug(value, unplug)) return false;
      options.unplugs.push_back(unplug);
    } else if (option == "--log") {
      options.logPath = value;
    } else if (option == "--serial") {
      options.serial = value;
    } else {
      return false;
    }
  }
  if (framesPath.empty()) return false;
  auto frames = ostrel::uhid::readFrameFile(framesPath);
  if (!frames.error.empty()) {
    std::cerr << "ostrel-uhid-cable: " << frames.error << '\n';
    std::exit(2);
  }
  options.frames = std::move(frames.frames);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  ostrel::uhid::CableOptions options;
  if (!parseOptions(argc, argv, options)) {
    std::cerr << usageText;
    return 2;
  }
  struct sigaction action {};
  action.sa_handler = requestStop;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  try {
    ostrel::uhid::VirtualCable cable(std::move(options));
    cable.run(stopRequested);
  } catch (const std::system_error& error) {
    std::cerr << "ostrel-uhid-cable: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
