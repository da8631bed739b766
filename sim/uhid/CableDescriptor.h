#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ostrel::uhid {

// Identity of the HID-to-serial bridge cable as the host sees it.
inline constexpr char cableName[] = "USB to Serial";
inline constexpr std::uint16_t cableVendorId = 0x1a86;
inline constexpr std::uint16_t cableProductId = 0xe008;

// Sizes of the cable's reports, without a report number: the cable uses none.
inline constexpr std::size_t inputReportSize = 8;
inline constexpr std::size_t outputReportSize = 8;
inline constexpr std::size_t featureReportSize = 5;

// Report descriptor: one vendor-defined application collection holding an 8-byte
// input report (serial bytes from the meter), an 8-byte output report (serial
// bytes to the meter) and a 5-byte feature report (baud rate, 32-bit little
// endian, then the line format code). All fields are 8-bit values 0..255.
inline constexpr auto cableReportDescriptor = std::to_array<std::uint8_t>({
    0x06, 0x00, 0xFF,  // Usage Page (vendor defined 0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8 bits)
    0x95, 0x08,        //   Report Count (8)
    0x09, 0x02,        //   Usage (2)
    0x81, 0x02,        //   Input (Data, Variable, Absolute)
    0x95, 0x08,        //   Report Count (8)
    0x09, 0x03,        //   Usage (3)
    0x91, 0x02,        //   Output (Data, Variable, Absolute)
    0x95, 0x05,        //   Report Count (5)
    0x09, 0x04,        //   Usage (4)
    0xB1, 0x02,        //   Feature (Data, Variable, Absolute)
    0xC0,              // End Collection
});

}  // namespace ostrel::uhid
