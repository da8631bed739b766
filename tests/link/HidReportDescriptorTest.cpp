#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "link/HidReportDescriptor.h"
#include "sim/uhid/CableDescriptor.h"

namespace ostrel {
namespace {

struct DescriptorCase {
  const char* name;
  std::vector<std::uint8_t> descriptor;
  HidReportLengths expected;
};
void PrintTo(const DescriptorCase& c, std::ostream* out) { *out << c.name; }

// Descriptors of HID-to-serial bridges, written item by item from the HID 1.11 item encoding.
// The cable's is the one the virtual cable on /dev/uhid presents: vendor page, no report IDs,
// 8-byte input, 8-byte output, 5-byte feature.
const std::vector<std::uint8_t> CableDescriptor(uhid::cableReportDescriptor.begin(),
                                                uhid::cableReportDescriptor.end());

// A bridge with numbered reports: ID 1 carries 63 data bytes in and out, ID 2 a 4-byte feature;
// the sizes are set inside Push/Pop so that they must not leak into the next report.
const std::vector<std::uint8_t> NumberedDescriptor = {
    0x06, 0x00, 0xFF,              // Usage Page (Vendor Defined 0xFF00)
    0x09, 0x01,                    // Usage (1)
    0xA1, 0x01,                    // Collection (Application)
    0x75, 0x08,                    //   Report Size (8)
    0x85, 0x01,                    //   Report ID (1)
    0xA4,                          //   Push
    0x95, 0x3F,                    //     Report Count (63)
    0x09, 0x01, 0x81, 0x02,        //     Usage (1), Input
    0x09, 0x01, 0x91, 0x02,        //     Usage (1), Output
    0xB4,                          //   Pop
    0x85, 0x02,                    //   Report ID (2)
    0x95, 0x04,                    //   Report Count (4)
    0x09, 0x02, 0xB1, 0x02,        //   Usage (2), Feature
    0xFE, 0x02, 0x10, 0xAA, 0xBB,  //   a long item, skipped
    0xC0,                          // End Collection
};

// Bit fields: 3 bits + 5 bits of padding + 1 byte, input only (2 data bytes).
const std::vector<std::uint8_t> BitFieldDescriptor = {
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01,  // Generic Desktop, Mouse, Collection
    0x95, 0x03, 0x75, 0x01, 0x81, 0x02,  //   3 x 1 bit Input
    0x95, 0x01, 0x75, 0x05, 0x81, 0x01,  //   1 x 5 bits Input (Constant)
    0x75, 0x08, 0x95, 0x01, 0x81, 0x06,  //   1 x 8 bits Input
    0xC0,
};

class ReportDescriptorTest : public ::testing::TestWithParam<DescriptorCase> {};

TEST_P(ReportDescriptorTest, GivesReportLengthsWithTheIdByte) {
  const HidReportLengths lengths = parseReportDescriptor(GetParam().descriptor);
  EXPECT_EQ(lengths.numberedReports, GetParam().expected.numberedReports);
  EXPECT_EQ(lengths.input, GetParam().expected.input);
  EXPECT_EQ(lengths.output, GetParam().expected.output);
  EXPECT_EQ(lengths.feature, GetParam().expected.feature);
}

std::vector<std::uint8_t> truncated(std::vector<std::uint8_t> descriptor, std::size_t size) {
  descriptor.resize(size);
  return descriptor;
}

INSTANTIATE_TEST_SUITE_P(
    Bridges, ReportDescriptorTest,
    ::testing::Values(DescriptorCase{"Cable", CableDescriptor, {false, 9, 9, 6}},
                      DescriptorCase{"Numbered", NumberedDescriptor, {true, 64, 64, 5}},
                      DescriptorCase{"BitFields", BitFieldDescriptor, {false, 3, 0, 0}},
                      DescriptorCase{"Empty", {}, {false, 0, 0, 0}},
                      // Cut inside the Output item's data: only the input report was declared.
                      DescriptorCase{
                          "Truncated", truncated(CableDescriptor, 25), {false, 9, 0, 0}}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

}  // namespace
}  // namespace ostrel
