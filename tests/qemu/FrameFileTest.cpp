#include "sim/uhid/FrameFile.h"

#include <gtest/gtest.h>

#include <sstream>

namespace ostrel::uhid {
namespace {

FrameFileResult read(const std::string& text) {
  std::istringstream in(text);
  return readFrames(in);
}

TEST(FrameFile, ReadsOneFramePerLineSkippingCommentsAndBlankLines) {
  const FrameFileResult result = read("# frames\n\n0a 0B\r\n  # indented comment\nff000D0a\n");
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(result.frames, (std::vector<SerialFrame>{{0x0A, 0x0B}, {0xFF, 0x00, 0x0D, 0x0A}}));
}

TEST(FrameFile, RejectsBadLinesWithTheirNumber) {
  struct Case {
    const char* text;
    const char* error;
  };
  for (const Case& c : {Case{"0A 0B\n0A 0\n", "line 2: odd number of hexadecimal digits"},
                        Case{"# x\n0A 0G\n", "line 2: not a hexadecimal digit: 'G'"},
                        Case{"# only a comment\n\n", "no frames"}}) {
    const FrameFileResult result = read(c.text);
    EXPECT_EQ(result.error, c.error) << c.text;
    EXPECT_TRUE(result.frames.empty()) << c.text;
  }
}

TEST(FrameFile, MissingFileNamesThePath) {
  EXPECT_EQ(readFrameFile("/nonexistent/frames.txt").error, "cannot open /nonexistent/frames.txt");
}

TEST(FrameFile, HexBytesIsUpperCaseWithBlanks) {
  EXPECT_EQ(hexBytes(std::vector<std::uint8_t>{0x0d, 0x0a, 0xf3}), "0D 0A F3");
  EXPECT_EQ(hexBytes({}), "");
}

}  // namespace
}  // namespace ostrel::uhid
