#include "sim/uhid/CableLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace ostrel::uhid {
namespace {

SerialFrame meterFrame(std::uint8_t first) {
  SerialFrame frame;
  for (std::uint8_t i = 0; i < 20; ++i) frame.push_back(static_cast<std::uint8_t>(first + i));
  frame.push_back(0x0D);
  frame.push_back(0x0A);
  return frame;
}

struct Played {
  std::vector<InputReport> reports;
  std::vector<std::size_t> completed;    // frame index, in order of completion
  std::vector<std::size_t> completedAt;  // report index at which each frame completed
};

Played play(CableLine& line, std::size_t reports) {
  Played played;
  for (std::size_t i = 0; i < reports; ++i) {
    const CableLine::Step step = line.nextReport();
    played.reports.push_back(step.report);
    if (step.completedFrame) {
      played.completed.push_back(*step.completedFrame);
      played.completedAt.push_back(i);
    }
  }
  return played;
}

// The host's reading: bytes collected between reports without data.
std::vector<SerialFrame> reassemble(const std::vector<InputReport>& reports) {
  std::vector<SerialFrame> frames;
  SerialFrame bytes;
  for (const InputReport& report : reports) {
    const std::size_t count = report[0] & 0x0F;
    if (count == 0) {
      if (!bytes.empty()) frames.push_back(std::exchange(bytes, {}));
      continue;
    }
    bytes.insert(bytes.end(), report.begin() + 1, report.begin() + 1 + count);
  }
  return frames;
}

TEST(CableLine, ReportsCarryTheFramesAtTheLinePace) {
  const std::vector<SerialFrame> frames = {meterFrame(0x10), meterFrame(0x20), meterFrame(0x30)};
  CableLine line(frames, 250'000);
  const Played played = play(line, 80);

  EXPECT_EQ(reassemble(played.reports), frames);
  for (const InputReport& report : played.reports) {
    const std::size_t count = report[0] & 0x0F;
    EXPECT_EQ(report[0] & 0xF0, 0xF0);
    // 240 bytes per second fill at most 3 bytes of a 12 ms report.
    EXPECT_LE(count, 3u);
    for (std::size_t i = 1 + count; i < report.size(); ++i) EXPECT_EQ(report[i], 0);
  }
  // 22 bytes take 91.7 ms: the 8th report of a frame carries its end; frames
  // start 250 ms apart.
  EXPECT_EQ(played.completed, (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(played.completedAt, (std::vector<std::size_t>{7, 28, 49}));
  EXPECT_TRUE(line.finished());
  EXPECT_EQ(line.framesCompleted(), 3u);
}

TEST(CableLine, ShortFramePeriodStillLeavesAReportWithoutDataBetweenFrames) {
  const std::vector<SerialFrame> frames = {
      meterFrame(0x10), meterFrame(0x20), {}, meterFrame(0x30)};
  CableLine line(frames, 0);
  const Played played = play(line, 40);
  EXPECT_EQ(reassemble(played.reports),
            (std::vector<SerialFrame>{meterFrame(0x10), meterFrame(0x20), meterFrame(0x30)}));
}

TEST(CableLine, RestartDropsTheRestOfTheFrameAndStartsTheNext) {
  CableLine line({meterFrame(0x10), meterFrame(0x20)}, 250'000);
  play(line, 3);
  line.restartAtNextFrame();
  const Played played = play(line, 20);
  EXPECT_EQ(played.completed, std::vector<std::size_t>{1});
  EXPECT_EQ(reassemble(played.reports), std::vector<SerialFrame>{meterFrame(0x20)});
  EXPECT_TRUE(line.finished());
}

TEST(CableLine, RepeatPlaysTheFramesOverAndOver) {
  CableLine line({meterFrame(0x10), meterFrame(0x20)}, 120'000, true);
  const Played played = play(line, 60);
  // A frame every ten reports.
  EXPECT_EQ(played.completed, (std::vector<std::size_t>{0, 1, 0, 1, 0, 1}));
  const std::vector<SerialFrame> pair = {meterFrame(0x10), meterFrame(0x20)};
  std::vector<SerialFrame> expected;
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), pair.begin(), pair.end());
  EXPECT_EQ(reassemble(played.reports), expected);
  EXPECT_FALSE(line.finished());
  EXPECT_EQ(line.framesCompleted(), 6u);
}

TEST(CableLine, AfterTheLastFrameOnlyReportsWithoutData) {
  CableLine line({meterFrame(0x10)}, 250'000);
  play(line, 9);
  const Played rest = play(line, 30);
  for (const InputReport& report : rest.reports) EXPECT_EQ(report, (InputReport{0xF0}));
}

}  // namespace
}  // namespace ostrel::uhid
