#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "pipeline/FramePipeline.h"
#include "record/TableFiles.h"
#include "sim/frames/FrameBuilder.h"

namespace ostrel {
namespace {

using sim::FrameBuilder;

// The pipeline over its own table, rules and mirror, counting what its hooks see.
class Pipeline : public testing::Test {
 protected:
  Pipeline() {
    pipeline.setTimer2RestartHook([this] { ++timerRestarts; });
    pipeline.setOfferedHook([this](int mode, bool recorded) {
      offers.emplace_back(mode, recorded);
      recordsWhenOffered.push_back(cds1.recordCount());
    });
  }

  DisplayModel display;
  ReadingTexts reading;
  ReadingsTable cds1;
  RecordingCounters counters;
  RecordingControls controls;
  RecordingRules rules{cds1, counters, controls, [] { return 12 * 3'600'000; }};
  FramePipeline pipeline{display, reading, rules, ","};
  FramePipeline::FrameHandler handler = pipeline.frameHandler();

  int timerRestarts = 0;
  std::vector<std::pair<int, bool>> offers;
  std::vector<std::size_t> recordsWhenOffered;
};

TEST_F(Pipeline, DecodedReadingBecomesARecordWithEveryFieldInItsPlace) {
  EXPECT_TRUE(handler(FrameBuilder().mainDigits("1.234").unit("MΩ").testVoltage("1000").text()));

  ASSERT_EQ(cds1.recordCount(), 1U);
  const RecordFields record = cds1.record(0);
  EXPECT_EQ(record.No, 1);
  EXPECT_EQ(record.TimeMs, 12 * 3'600'000);
  EXPECT_EQ(record.Value, "1,234");  // the pipeline's decimal separator
  EXPECT_EQ(record.Unit, "M\xA6\xB8");
  EXPECT_EQ(record.V_Range, "IR:1000V 40G\xA6\xB8");
  EXPECT_EQ(record.I_Range, "Continuous");
  EXPECT_EQ(timerRestarts, 1);
  // The hook runs after the record is in the table, so a caller can read it there.
  EXPECT_EQ(offers, (std::vector<std::pair<int, bool>>{{1, true}}));
  EXPECT_EQ(recordsWhenOffered, std::vector<std::size_t>{1});
}

// TΩ readings keep the digits the meter shows with the unit TΩ, a PI ratio has no unit:
// so in the table and in the text and packet files read back from disk.
TEST_F(Pipeline, TeraOhmAndPiReadingsReachTheSavedFilesAsTheMeterShowsThem) {
  handler(FrameBuilder().mainDigits("950.0").unit("GΩ").testVoltage("5000").text());
  handler(FrameBuilder().mainDigits("1.730").unit("TΩ").testVoltage("5000").text());
  handler(FrameBuilder().mainDigits("2.200").symbol("power").symbol("labp1").text());
  ASSERT_EQ(cds1.recordCount(), 3U);

  std::string pattern = (std::filesystem::temp_directory_path() / "ostrel-pipe-XXXXXX").string();
  const std::filesystem::path folder = ::mkdtemp(pattern.data());
  // The text format writes an empty cell as NULL and reads it back so.
  for (const auto& [name, noUnit] : {std::pair{"readings.txt", "NULL"}, {"readings.xml", ""}}) {
    const std::string file = (folder / name).string();
    ASSERT_TRUE(SaveTableToFile(cds1, file, ",").ok()) << name;
    ReadingsTable back;
    ASSERT_TRUE(LoadTableFromFile(file, back, true).ok()) << name;
    ASSERT_EQ(back.recordCount(), 3U) << name;
    const RecordFields tera = back.record(1);
    EXPECT_EQ(tera.Value, "1,730") << name;
    EXPECT_EQ(tera.Unit, "T\xA6\xB8") << name;
    const RecordFields pi = back.record(2);
    EXPECT_EQ(pi.Value, "2,200") << name;
    EXPECT_EQ(pi.Unit.value_or(""), noUnit) << name;
    EXPECT_EQ(pi.I_Range, "PI") << name;
  }
  std::filesystem::remove_all(folder);
}

// The timer goes with the reading only when it reads as min:sec: the comparator's limit in
// the same digits (no colon), a dash or a dark timer leave the test time empty.
TEST_F(Pipeline, TheLitTimerIsKeptAsTheRecordsTestTime) {
  const auto recordedTestTime = [this](FrameBuilder builder) {
    EXPECT_TRUE(handler(builder.mainDigits("20.00").unit("GΩ").testVoltage("1000").text()));
    return cds1.record(cds1.recordCount() - 1).TestTime;
  };
  EXPECT_EQ(recordedTestTime(FrameBuilder().timer("00:42")), 42);
  EXPECT_EQ(recordedTestTime(FrameBuilder().timer("10:00").symbol("labTIME1")), 600);
  EXPECT_EQ(recordedTestTime(FrameBuilder().timer("59:59")), 3599);
  EXPECT_EQ(recordedTestTime(FrameBuilder().timer(" 100").symbol("labCOMP")), std::nullopt);
  EXPECT_EQ(recordedTestTime(FrameBuilder().timer("1000").symbol("labCOMP")), std::nullopt);
  EXPECT_EQ(recordedTestTime(FrameBuilder().timer("--:--")), std::nullopt);
  EXPECT_EQ(recordedTestTime(FrameBuilder()), std::nullopt);
}

TEST_F(Pipeline, ReadingHeldBackByTheRulesIsStillReportedAsOffered) {
  controls.RepeatSet = false;
  const std::string frame = FrameBuilder().mainDigits("0.50").unit("GΩ").text();
  EXPECT_TRUE(handler(frame));
  EXPECT_TRUE(handler(frame));  // the same value again: not recorded without "Repeat"

  EXPECT_EQ(cds1.recordCount(), 1U);
  EXPECT_EQ(offers, (std::vector<std::pair<int, bool>>{{1, true}, {1, false}}));
}

// Frames that never reach the rules: only the data-arrival timer hears of them.
TEST_F(Pipeline, FramesWithoutAReadingOfferNothing) {
  std::string damaged = FrameBuilder().mainDigits("1.234").text();
  damaged[43] = 'B';  // ...0D0B fails the end check
  const std::string noMainDigit = FrameBuilder().testVoltage("1000").text();

  EXPECT_EQ(pipeline.ShowData860(damaged), FrameDecoder::Outcome::Dropped);
  EXPECT_FALSE(handler(damaged));
  EXPECT_TRUE(handler(noMainDigit));

  EXPECT_EQ(timerRestarts, 3);
  EXPECT_TRUE(offers.empty());
  EXPECT_EQ(cds1.recordCount(), 0U);
}

}  // namespace
}  // namespace ostrel
