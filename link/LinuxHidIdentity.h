#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/HidPlatform.h"

struct udev;

namespace ostrel {

// What udev and sysfs tell about one hidraw node without opening it.
struct LinuxHidIdentity {
  HidAttributes attributes;
  std::u16string product;  // USB product string, or HID_NAME for a device without a USB parent
  std::u16string serial;   // USB serial string, or HID_UNIQ
  std::uint32_t instance = 0;
};

// `path` is the node, e.g. /dev/hidraw3. nullopt when udev does not know it (any more).
std::optional<LinuxHidIdentity> readLinuxHidIdentity(udev* context, const std::string& path);

// The raw report descriptor from sysfs (no udev context, safe on any thread); empty when
// unreadable.
std::vector<std::uint8_t> readReportDescriptor(const std::string& path);

}  // namespace ostrel
