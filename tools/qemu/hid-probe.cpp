// ostrel-hid-probe: exercises the real HID stack (hidapi on hidraw, libudev) the
// way the link does, for the QEMU guest tests. Prints one line per event:
//   list                      "<vid>:<pid> <product>|<path>" per HID device
//   log FRAMES SECONDS [CAPTURE]
//                             connects to "USB to Serial", sends the line
//                             settings (after 300 ms of reading: "reports before
//                             the line settings <count>") and reads them back ("feature <sent>",
//                             "get-feature <size> <hex>"), prints "frame <hex>" per frame,
//                             "read-error", "connected <path>", "udev <action> <node>",
//                             and follows the cable through removal and arrival;
//                             CAPTURE receives every report read, report ID 00 first,
//                             as the decode command reads them
// Exit status: 0 on success, 1 when FRAMES frames did not arrive in SECONDS.

#include <hidapi/hidapi.h>
#include <libudev.h>
#include <poll.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::array<unsigned char, 10> lineSettings2400 = {0x00, 0x60, 0x09, 0x00, 0x00,
                                                            0x03, 0x00, 0x00, 0x00, 0x00};
constexpr std::wstring_view cableProduct = L"USB to Serial";

std::string narrow(const wchar_t* text) {
  std::string result;
  for (; text && *text; ++text) result += *text < 0x80 ? static_cast<char>(*text) : '?';
  return result;
}

std::string hex(const std::vector<unsigned char>& bytes) {
  std::string text;
  char digits[4];
  for (unsigned char byte : bytes) {
    std::snprintf(digits, sizeof digits, text.empty() ? "%02X" : " %02X", byte);
    text += digits;
  }
  return text;
}

int list() {
  hid_device_info* devices = hid_enumerate(0, 0);
  for (hid_device_info* d = devices; d; d = d->next)
    std::printf("%04x:%04x %s|%s\n", d->vendor_id, d->product_id, narrow(d->product_string).c_str(),
                d->path);
  hid_free_enumeration(devices);
  return 0;
}

std::optional<std::string> findCable() {
  std::optional<std::string> path;
  hid_device_info* devices = hid_enumerate(0, 0);
  for (hid_device_info* d = devices; d; d = d->next)
    if (d->product_string && cableProduct == d->product_string) path = d->path;
  hid_free_enumeration(devices);
  return path;
}

// Device-change notices from udevd (none arrive when udevd does not run).
class UdevWatch {
 public:
  UdevWatch() : m_udev(udev_new()) {
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr);
    udev_monitor_enable_receiving(m_monitor);
  }
  ~UdevWatch() {
    udev_monitor_unref(m_monitor);
    udev_unref(m_udev);
  }
  UdevWatch(const UdevWatch&) = delete;
  UdevWatch& operator=(const UdevWatch&) = delete;

  // Prints the notices that are waiting; true when there was one.
  bool drain() {
    bool any = false;
    pollfd descriptor{udev_monitor_get_fd(m_monitor), POLLIN, 0};
    while (poll(&descriptor, 1, 0) > 0) {
      udev_device* device = udev_monitor_receive_device(m_monitor);
      if (!device) break;
      const char* node = udev_device_get_devnode(device);
      std::printf("udev %s %s\n", udev_device_get_action(device), node ? node : "-");
      udev_device_unref(device);
      any = true;
    }
    return any;
  }

 private:
  udev* m_udev;
  udev_monitor* m_monitor = nullptr;
};

// Collects serial bytes: the low 4 bits of byte 0 count the bytes that follow
// (1 to 9: data; 0 and 10 to 15: none); a report without data ends a frame.
class FrameAssembler {
 public:
  std::optional<std::vector<unsigned char>> add(const unsigned char* report, int size) {
    if (size <= 0) return std::nullopt;
    const int count = report[0] & 0x0F;
    if (count >= 1 && count <= 9) {
      for (int k = 1; k <= count && k < size; ++k) m_bytes.push_back(report[k]);
      return std::nullopt;
    }
    if (m_bytes.empty()) return std::nullopt;
    return std::exchange(m_bytes, {});
  }

 private:
  std::vector<unsigned char> m_bytes;
};

int logFrames(int wanted, int seconds, const char* capturePath) {
  std::FILE* capture = capturePath ? std::fopen(capturePath, "w") : nullptr;
  if (capturePath && !capture) {
    std::perror(capturePath);
    return 2;
  }
  UdevWatch watch;
  FrameAssembler assembler;
  hid_device* device = nullptr;
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  int frames = 0;
  while (frames < wanted && Clock::now() < deadline) {
    watch.drain();
    if (!device) {
      const auto path = findCable();
      if (path) device = hid_open_path(path->c_str());
      if (!device) {
        poll(nullptr, 0, 100);
        continue;
      }
      std::printf("connected %s\n", path->c_str());
      // The cable sends nothing before its line runs at 2400 baud.
      int early = 0;
      std::array<unsigned char, 64> report{};
      for (int i = 0; i < 3; ++i)
        early += hid_read_timeout(device, report.data(), report.size(), 100) > 0;
      std::printf("reports before the line settings %d\n", early);
      const int sent =
          hid_send_feature_report(device, lineSettings2400.data(), lineSettings2400.size());
      std::printf("feature %d\n", sent);
      std::array<unsigned char, 16> settings{};  // byte 0: report number 0
      const int got = hid_get_feature_report(device, settings.data(), settings.size());
      std::printf("get-feature %d %s\n", got,
                  hex({settings.begin(), settings.begin() + std::max(got, 0)}).c_str());
    }
    std::array<unsigned char, 64> report{};
    const int size = hid_read_timeout(device, report.data(), report.size(), 200);
    if (size < 0) {
      std::printf("read-error %s\n", narrow(hid_error(device)).c_str());
      hid_close(device);
      device = nullptr;
      continue;
    }
    if (capture && size > 0) {
      // hidraw delivers the report without its number: the cable has only report 0.
      std::vector<unsigned char> line = {0};
      line.insert(line.end(), report.begin(), report.begin() + size);
      std::fprintf(capture, "%s\n", hex(line).c_str());
    }
    if (const auto frame = assembler.add(report.data(), size)) {
      std::printf("frame %s\n", hex(*frame).c_str());
      ++frames;
    }
    std::fflush(stdout);
  }
  watch.drain();
  if (device) hid_close(device);
  if (capture) std::fclose(capture);
  std::printf("%d of %d frames\n", frames, wanted);
  return frames == wanted ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  if (hid_init() != 0) return 2;
  const std::string_view command = argc > 1 ? argv[1] : "";
  int status = 2;
  if (command == "list") {
    status = list();
  } else if (command == "log" && (argc == 4 || argc == 5)) {
    status = logFrames(std::atoi(argv[2]), std::atoi(argv[3]), argc == 5 ? argv[4] : nullptr);
  } else {
    std::fprintf(stderr, "usage: ostrel-hid-probe list | log FRAMES SECONDS [CAPTURE]\n");
  }
  hid_exit();
  return status;
}
