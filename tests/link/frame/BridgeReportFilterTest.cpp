#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "link/frame/BridgeReportFilter.h"
#include "link/frame/FrameAssembler.h"
#include "sim/frames/FrameBuilder.h"
#include "sim/frames/ReportStream.h"

namespace ostrel {
namespace {

using Bytes = std::vector<std::uint8_t>;  // a report as read: byte 0 the report ID

// One assembler fed every report, one fed only what the filter passes; both must hand over the
// same frames and be in the same state after every report.
class FilteredAndUnfiltered {
 public:
  FilteredAndUnfiltered() {
    m_all.setFrameHandler([this](const std::string& frame) {
      m_framesAll.push_back(frame);
      return true;
    });
    m_passed.setFrameHandler([this](const std::string& frame) {
      m_framesPassed.push_back(frame);
      return true;
    });
  }

  // Feeds one report to both; returns false at the first difference.
  ::testing::AssertionResult feed(const Bytes& report) {
    const auto read740 = [&report](FrameAssembler& assembler) {
      assembler.Read740(report[0], report.size() > 1 ? report.data() + 1 : nullptr,
                        static_cast<std::uint16_t>(report.size() - 1));
    };
    read740(m_all);
    if (m_filter.pass(report)) {
      read740(m_passed);
      ++m_handedOver;
    }
    ++m_reports;
    if (m_framesAll != m_framesPassed ||
        m_stateAll.HexAccumulator != m_statePassed.HexAccumulator ||
        m_stateAll.FrameInProgress != m_statePassed.FrameInProgress) {
      return ::testing::AssertionFailure() << "differs after report " << m_reports;
    }
    return ::testing::AssertionSuccess();
  }

  std::size_t reports() const { return m_reports; }
  std::size_t handedOver() const { return m_handedOver; }
  std::size_t frames() const { return m_framesAll.size(); }

 private:
  FrameAssemblerState m_stateAll;
  FrameAssembler m_all{m_stateAll};
  FrameAssemblerState m_statePassed;
  FrameAssembler m_passed{m_statePassed};
  BridgeReportFilter m_filter;
  std::vector<std::string> m_framesAll;
  std::vector<std::string> m_framesPassed;
  std::size_t m_reports = 0;
  std::size_t m_handedOver = 0;
};

// The report stream fuzz target's inputs: one byte s, then (s mod 65) bytes of report data, the
// last report taking what is left; the report ID is 0.
std::vector<Bytes> corpusReports(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const Bytes data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<Bytes> reports;
  std::size_t offset = 0;
  while (offset < data.size()) {
    const std::size_t wanted = data[offset++] % 65;
    const std::size_t size = std::min(wanted, data.size() - offset);
    Bytes report{0};
    report.insert(report.end(), data.begin() + static_cast<std::ptrdiff_t>(offset),
                  data.begin() + static_cast<std::ptrdiff_t>(offset + size));
    reports.push_back(std::move(report));
    offset += size;
  }
  return reports;
}

TEST(BridgeReportFilter, ChangesNothingForTheAssemblerOverTheFuzzCorpus) {
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(OSTREL_REPORT_STREAM_CORPUS)) {
    FilteredAndUnfiltered link;
    for (const Bytes& report : corpusReports(entry.path())) {
      ASSERT_TRUE(link.feed(report)) << entry.path().filename();
    }
    ++files;
  }
  EXPECT_GT(files, 0U);
}

// Meter frames, damaged frames, frames run together, bursts of reports without data in every
// form (count 0 or 10-15, any high bits, Size 0), counts beyond the bytes delivered, and stray
// data bytes, mixed at random.
std::vector<Bytes> generatedStream(std::mt19937& random) {
  const auto pick = [&random](int below) {
    return std::uniform_int_distribution<int>(0, below - 1)(random);
  };
  const auto byte = [&] { return static_cast<std::uint8_t>(pick(256)); };
  std::vector<Bytes> reports;
  for (int piece = 0; piece < 200; ++piece) {
    switch (pick(4)) {
      case 0:
      case 1: {
        sim::FrameBuilder builder;
        builder.mainDigits(std::to_string(pick(10000))).unit(pick(2) ? "MΩ" : "GΩ");
        Bytes frame;
        for (const auto b : builder.bytes()) frame.push_back(b);
        if (pick(5) == 0) frame[21] = byte();      // damaged end
        if (pick(5) == 0) frame.resize(pick(30));  // cut short or lengthened
        for (const auto& report : sim::packSerialBytes(frame, 1 + pick(9))) {
          sim::InputReport withId = report;
          withId.reportId = byte();
          Bytes bytes = sim::reportBytes(withId);
          bytes[1] = static_cast<std::uint8_t>((byte() & 0xF0) | (bytes[1] & 0x0F));
          reports.push_back(std::move(bytes));
        }
        break;
      }
      case 2: {
        const int idle = pick(12);
        for (int i = 0; i < idle; ++i) {
          const int form = pick(3);
          Bytes bytes{byte()};
          if (form > 0)
            bytes.push_back(
                static_cast<std::uint8_t>((byte() & 0xF0) | (form == 1 ? 0 : 10 + pick(6))));
          for (int k = pick(8); form > 0 && k > 0; --k) bytes.push_back(byte());
          reports.push_back(std::move(bytes));
        }
        break;
      }
      default: {
        Bytes bytes{byte(), static_cast<std::uint8_t>((byte() & 0xF0) | (1 + pick(9)))};
        for (int k = pick(9); k > 0; --k) bytes.push_back(byte());
        reports.push_back(std::move(bytes));
        break;
      }
    }
  }
  return reports;
}

TEST(BridgeReportFilter, ChangesNothingForTheAssemblerOverGeneratedStreams) {
  std::size_t reports = 0;
  std::size_t handedOver = 0;
  std::size_t frames = 0;
  for (unsigned seed = 1; seed <= 200; ++seed) {
    std::mt19937 random(seed);
    FilteredAndUnfiltered link;
    for (const Bytes& report : generatedStream(random)) {
      ASSERT_TRUE(link.feed(report)) << "seed " << seed;
    }
    reports += link.reports();
    handedOver += link.handedOver();
    frames += link.frames();
  }
  // Not vacuous: frames were decoded, and the filter did drop reports.
  EXPECT_GT(frames, 1000U);
  EXPECT_LT(handedOver, reports * 9 / 10);
}

// An idle bridge between two frames costs one report each, the one that ends the frame.
TEST(BridgeReportFilter, PassesOnlyTheReportWithoutDataThatEndsAFrame) {
  sim::FrameBuilder builder;
  builder.mainDigits("1.234").unit("MΩ");
  const auto frame = builder.bytes();
  const auto stream = sim::reportStream(
      {{frame.begin(), frame.end()}, {frame.begin(), frame.end()}}, sim::maxBytesPerReport, 20);
  BridgeReportFilter filter;
  std::size_t passed = 0;
  for (const auto& report : stream) {
    passed += filter.pass(sim::reportBytes(report)) ? 1 : 0;
  }
  const std::size_t dataReports = sim::packSerialBytes(frame).size();
  EXPECT_EQ(passed, 2 * (dataReports + 1));
}

// After reports were dropped in a pause, the stream resumes at the next report without data: a
// frame begun before the gap is never finished with the bytes of a later frame.
TEST(BridgeReportFilter, AfterAGapNoFrameIsSplicedFromTwo) {
  sim::FrameBuilder first;
  first.mainDigits("1.234").unit("MΩ").testVoltage(" 500");
  sim::FrameBuilder later;
  later.mainDigits("5678").unit("GΩ").testVoltage("1000");
  const auto firstReports = sim::packSerialBytes(first.bytes());
  const auto laterReports = sim::packSerialBytes(later.bytes());
  ASSERT_EQ(firstReports.size(), laterReports.size());
  const std::size_t half = firstReports.size() / 2;

  FrameAssemblerState state;
  FrameAssembler assembler(state);
  std::vector<std::string> handed;
  assembler.setFrameHandler([&](const std::string& frame) {
    handed.push_back(frame);
    return true;
  });
  BridgeReportFilter filter;
  const auto feed = [&](const sim::InputReport& report) {
    const Bytes bytes = sim::reportBytes(report);
    if (filter.pass(bytes)) {
      assembler.Read740(bytes[0], bytes.data() + 1, static_cast<std::uint16_t>(bytes.size() - 1));
    }
  };
  for (std::size_t i = 0; i < half; ++i) feed(firstReports[i]);
  filter.gap();
  for (std::size_t i = half; i < laterReports.size(); ++i) feed(laterReports[i]);
  feed(sim::idleReport());
  EXPECT_TRUE(handed.empty()) << handed.front();  // the first half alone fails the frame check
  EXPECT_FALSE(state.FrameInProgress);
  for (const auto& report : laterReports) feed(report);
  feed(sim::idleReport());
  ASSERT_EQ(handed.size(), 1U);
  EXPECT_EQ(handed[0], later.text());
}

}  // namespace
}  // namespace ostrel
