#include "link/LinuxHidIdentity.h"

#include <libudev.h>

#include <QString>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

namespace ostrel {

namespace {

struct UdevDeviceUnref {
  void operator()(udev_device* device) const { udev_device_unref(device); }
};

std::string nodeName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::u16string utf16(const char* utf8) {
  return utf8 == nullptr ? std::u16string{} : QString::fromUtf8(utf8).toStdU16String();
}

std::uint32_t hexValue(const char* text) {
  unsigned value = 0;
  if (text != nullptr &&
      std::sscanf(text, "%x", &value) != 1) {  // NOLINT(cert-err34-c): text comes from sysfs
    value = 0;
  }
  return value;
}

}  // namespace

std::optional<LinuxHidIdentity> readLinuxHidIdentity(udev* context, const std::string& path) {
  if (context == nullptr) {
    return std::nullopt;
  }
  const std::unique_ptr<udev_device, UdevDeviceUnref> node(
      udev_device_new_from_subsystem_sysname(context, "hidraw", nodeName(path).c_str()));
  if (!node) {
    return std::nullopt;
  }
  // Parents are owned by the child.
  udev_device* hid = udev_device_get_parent_with_subsystem_devtype(node.get(), "hid", nullptr);
  if (hid == nullptr) {
    return std::nullopt;
  }
  LinuxHidIdentity identity;
  unsigned bus = 0;
  unsigned vendor = 0;
  unsigned product = 0;
  const char* hidId = udev_device_get_property_value(hid, "HID_ID");  // "0003:00001A86:0000E008"
  if (hidId == nullptr ||
      std::sscanf(hidId, "%x:%x:%x", &bus, &vendor, &product) != 3) {  // NOLINT(cert-err34-c)
    return std::nullopt;
  }
  identity.attributes.VendorID = static_cast<std::uint16_t>(vendor);
  identity.attributes.ProductID = static_cast<std::uint16_t>(product);
  const std::string hidName = udev_device_get_sysname(hid);  // "0003:1A86:E008.0007"
  const auto dot = hidName.rfind('.');
  identity.instance = dot == std::string::npos ? 0 : hexValue(hidName.c_str() + dot + 1);

  if (udev_device* usb =
          udev_device_get_parent_with_subsystem_devtype(node.get(), "usb", "usb_device")) {
    identity.attributes.VersionNumber =
        static_cast<std::uint16_t>(hexValue(udev_device_get_sysattr_value(usb, "bcdDevice")));
    identity.product = utf16(udev_device_get_sysattr_value(usb, "product"));
    identity.serial = utf16(udev_device_get_sysattr_value(usb, "serial"));
  } else {
    identity.product = utf16(udev_device_get_property_value(hid, "HID_NAME"));
    identity.serial = utf16(udev_device_get_property_value(hid, "HID_UNIQ"));
  }
  return identity;
}

std::vector<std::uint8_t> readReportDescriptor(const std::string& path) {
  std::ifstream file("/sys/class/hidraw/" + nodeName(path) + "/device/report_descriptor",
                     std::ios::binary);
  if (!file) {
    return {};
  }
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace ostrel
