#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "link/frame/FrameAssembler.h"
#include "sim/frames/ReportStream.h"

namespace ostrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Data bytes of one report (after the report ID).
struct Report {
  Bytes data;
  std::uint8_t reportId = 0;
};

Bytes frameBytes(std::size_t length, std::uint8_t end1 = 0x0D, std::uint8_t end2 = 0x0A) {
  Bytes bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(0x11 * (i % 15));
  if (length >= 22) {
    bytes[20] = end1;
    bytes[21] = end2;
  }
  return bytes;
}

std::string hex(const Bytes& bytes) {
  std::string text;
  for (std::uint8_t b : bytes) {
    text += "0123456789ABCDEF"[b >> 4];
    text += "0123456789ABCDEF"[b & 15];
  }
  return text;
}

std::vector<Report> dataReports(const Bytes& serial) {
  std::vector<Report> reports;
  for (const auto& r : sim::packSerialBytes(serial)) reports.push_back({r.data});
  return reports;
}

const Report idle{{0xF0, 0, 0, 0, 0, 0, 0, 0}};

class Assembler : public testing::Test {
 protected:
  Assembler() {
    assembler.setFrameHandler([this](const std::string& frame) {
      handed.push_back(frame);
      return handlerResult;
    });
  }
  // Feeds the reports; returns what the last Read740 returned.
  bool feed(const std::vector<Report>& reports) {
    bool result = false;
    for (const Report& r : reports) {
      result =
          assembler.Read740(r.reportId, r.data.data(), static_cast<std::uint16_t>(r.data.size()));
    }
    return result;
  }

  FrameAssemblerState state;
  FrameAssembler assembler{state};
  std::vector<std::string> handed;
  bool handlerResult = true;
};

TEST_F(Assembler, CountNibbleSelectsTheDataBytesAndTheHighBitsNeverMatter) {
  feed({{{0xF3, 0x12, 0x34, 0x56, 0, 0, 0, 0}}});
  EXPECT_EQ(state.HexAccumulator, "123456");
  EXPECT_TRUE(state.FrameInProgress);
  feed({{{0x03, 0xAB, 0xCD, 0xEF, 0x99, 0, 0, 0}, 0x7F}});
  EXPECT_EQ(state.HexAccumulator, "123456ABCDEF");
  feed({{{0xF7, 0x11, 0x22, 0x33}}});  // count 7, only 3 bytes delivered
  EXPECT_EQ(state.HexAccumulator, "123456ABCDEF112233");
  EXPECT_TRUE(handed.empty());
}

// Every count and every Size up to a full 64-byte report: exactly min(count, Size - 1)
// bytes are appended for counts 1..9, nothing for the others; never a byte past Size.
TEST_F(Assembler, AppendsOnlyDeliveredBytesForAnyCountAndSize) {
  Bytes buffer(64, 0xA5);
  for (unsigned count = 0; count < 16; ++count) {
    for (std::uint16_t size = 0; size <= 64; ++size) {
      state = {};
      buffer[0] = static_cast<std::uint8_t>(0x50 | count);
      Bytes exact(buffer.begin(), buffer.begin() + size);  // heap block of exactly Size bytes
      assembler.Read740(0, exact.data(), size);
      const bool isData = size > 0 && count >= 1 && count <= 9;
      const std::size_t expected = isData ? std::min<std::size_t>(count, size - 1U) : 0;
      ASSERT_EQ(state.HexAccumulator.size(), 2 * expected) << count << " " << size;
      ASSERT_EQ(state.FrameInProgress, isData) << count << " " << size;
    }
  }
}

struct EndCase {
  const char* name;
  Report end;
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class FrameEnd : public Assembler, public testing::WithParamInterface<EndCase> {};

TEST_P(FrameEnd, ReportWithoutDataEndsTheFrame) {
  const Bytes frame = frameBytes(22);
  auto reports = dataReports(frame);
  reports.push_back(GetParam().end);
  EXPECT_TRUE(feed(reports));
  ASSERT_EQ(handed.size(), 1U);
  EXPECT_EQ(handed[0], hex(frame));
  EXPECT_EQ(state.HexAccumulator, "");
  EXPECT_FALSE(state.FrameInProgress);
}

INSTANTIATE_TEST_SUITE_P(Counts, FrameEnd,
                         testing::Values(EndCase{"F0", {{0xF0, 1, 2, 3}}},
                                         EndCase{"FA", {{0xFA, 1, 2}}}, EndCase{"FB", {{0xFB}}},
                                         EndCase{"FC", {{0xFC, 9}}}, EndCase{"FD", {{0xFD}}},
                                         EndCase{"FE", {{0xFE}}},
                                         EndCase{"FF", {{0xFF, 1, 2, 3, 4, 5, 6, 7}}},
                                         EndCase{"00", {{0x00}}}, EndCase{"SizeZero", {{}}},
                                         EndCase{"ReportIdIgnored", {{0xF0}, 0xF5}}),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

struct CollectCase {
  const char* name;
  Bytes serial;
  bool handedOver;
};

void PrintTo(const CollectCase& c, std::ostream* os) { *os << c.name; }

class FrameCheck : public Assembler, public testing::WithParamInterface<CollectCase> {};

TEST_P(FrameCheck, HandsOverWhenBytes21And22Are0D0AAndAlwaysEmpties) {
  auto reports = dataReports(GetParam().serial);
  reports.push_back(idle);
  EXPECT_EQ(feed(reports), GetParam().handedOver);
  if (GetParam().handedOver) {
    ASSERT_EQ(handed.size(), 1U);
    EXPECT_EQ(handed[0], hex(GetParam().serial));
  } else {
    EXPECT_TRUE(handed.empty());
  }
  EXPECT_EQ(state.HexAccumulator, "");
  EXPECT_FALSE(state.FrameInProgress);
}

Bytes twoFramesBackToBack() {
  Bytes bytes = frameBytes(22);
  const Bytes second = frameBytes(22);
  bytes.insert(bytes.end(), second.begin(), second.end());
  return bytes;
}

Bytes twentyOneEndingIn0D0A() {
  Bytes bytes = frameBytes(21);
  bytes[19] = 0x0D;
  bytes[20] = 0x0A;
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, FrameCheck,
    testing::Values(CollectCase{"TwentyTwo", frameBytes(22), true},
                    CollectCase{"TwentyThreeGives46Chars", frameBytes(23), true},
                    CollectCase{"TwoFramesWithoutIdleGive88Chars", twoFramesBackToBack(), true},
                    CollectCase{"TwentyOne", twentyOneEndingIn0D0A(), false},
                    CollectCase{"EndsIn0D0B", frameBytes(22, 0x0D, 0x0B), false},
                    CollectCase{"EndsIn0A0D", frameBytes(22, 0x0A, 0x0D), false},
                    CollectCase{"OneByte", Bytes{0x0D}, false}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(Assembler, IdleReportsWhileIdleDoNothing) {
  EXPECT_FALSE(feed({idle, idle, {{}}}));
  EXPECT_TRUE(handed.empty());
  EXPECT_EQ(state.HexAccumulator, "");
  auto reports = dataReports(frameBytes(22));
  reports.push_back(idle);
  reports.push_back(idle);  // the second ends nothing
  EXPECT_FALSE(feed(reports));
  EXPECT_EQ(handed.size(), 1U);
}

TEST_F(Assembler, ReturnsWhatTheHandlerReturned) {
  handlerResult = false;
  auto reports = dataReports(frameBytes(22));
  reports.push_back(idle);
  EXPECT_FALSE(feed(reports));
  EXPECT_EQ(handed.size(), 1U);
  EXPECT_EQ(state.HexAccumulator, "");
}

// A line that never sends a report without data: the text stays bounded, and a frame at its
// start is still judged and handed over from its start.
TEST_F(Assembler, CollectedTextStaysBoundedOnANoisyLine) {
  std::vector<Report> reports = dataReports(frameBytes(22));
  const Report noise{{0xF7, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5}};
  reports.insert(reports.end(), 10'000, noise);
  EXPECT_FALSE(feed(reports));
  EXPECT_EQ(state.HexAccumulator.size(), FrameAssembler::maxCollectedChars);

  EXPECT_TRUE(feed({idle}));
  ASSERT_EQ(handed.size(), 1U);
  EXPECT_EQ(handed[0].size(), FrameAssembler::maxCollectedChars);
  EXPECT_EQ(handed[0].substr(0, 44), hex(frameBytes(22)));
  EXPECT_EQ(state.HexAccumulator, "");
}

TEST_F(Assembler, StreamFromTheFrameBuilderPackingArrivesWhole) {
  const std::vector<Bytes> frames = {frameBytes(22), frameBytes(22, 0x0D, 0x0B), frameBytes(22)};
  for (std::size_t perReport : {1U, 3U, 7U}) {
    handed.clear();
    std::vector<Report> reports;
    for (const auto& r : sim::reportStream(frames, perReport, 2))
      reports.push_back({r.data, r.reportId});
    feed(reports);
    EXPECT_EQ(handed, (std::vector<std::string>{hex(frames[0]), hex(frames[2])})) << perReport;
  }
}

}  // namespace
}  // namespace ostrel
