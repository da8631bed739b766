// Save Data and Open Data of large tables while the window records from the virtual meter:
// the file work runs on a worker thread, so no reading the meter offers is lost, the saved
// file holds the table as it was at the click, and Cancel leaves file and table as they were.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>

#include "app/WindowLink.h"
#include "record/TableFiles.h"
#include "record/chart/ChartReadings.h"
#include "sim/meter/MeterScript.h"
#include "sim/meter/VirtualMeter.h"
#include "tests/link/LinkTestSupport.h"
#include "tests/ui/StubDialogs.h"
#include "ui/AppState.h"
#include "ui/ReportAndChart.h"
#include "ui/TFrmTest.h"
#include "ui/chart/Chtshow.h"
#include "ui/report/ReadingsTableDataSet.h"
#include "ui/report/ReportLayout.h"
#include "ui/report/ReportPreview.h"
#include "ui/report/TestDataReport.h"
#include "ui/work/BackgroundWork.h"

namespace {

// A save held on purpose: while `holding` is set, the flush of a save's temporary file
// ("NAME.ostrel-XXXXXX") waits until the test lets it go. Its bytes are all written then and
// the rename is still to come, so the save is under way for as long as the test wants.
struct SaveHold {
  std::mutex mutex;
  std::condition_variable changed;
  bool holding = false;
  bool held = false;  // a flush is waiting
};
SaveHold saveHold;

constexpr auto longestHold = std::chrono::seconds(20);

bool isReplacementFile(int fd) {
  char link[64];
  char target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t length = ::readlink(link, target, sizeof target - 1);
  if (length <= 0) return false;
  target[length] = '\0';
  return std::strstr(target, ".ostrel-") != nullptr;
}

}  // namespace

// Takes the C library's place in this binary (the file code is linked in statically).
extern "C" int fsync(int fd) {
  if (isReplacementFile(fd)) {
    std::unique_lock lock(saveHold.mutex);
    if (saveHold.holding) {
      saveHold.held = true;
      saveHold.changed.notify_all();
      saveHold.changed.wait_for(lock, longestHold, [] { return !saveHold.holding; });
      saveHold.held = false;
    }
  }
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace {

using ostrel::ReadingsTable;

std::string fileBytes(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// `count` records as a long recording leaves them, numbered from 1.
void fill(ReadingsTable& table, std::size_t count) {
  table.DisableControls();
  for (std::size_t i = 0; i < count; ++i) {
    const auto no = static_cast<std::int32_t>(i + 1);
    table.append({no, static_cast<std::int32_t>((i * 250) % 86400000),
                  std::to_string(100 + i % 900) + ".5", "M\xA6\xB8", "500V", "2mA"});
  }
  table.EnableControls();
}

// The chart plots every row of the table as it stands, whether it traced the table itself or
// took the trace made beside a load.
void expectChartFollows(ostrel::Chtshow& chart, const ReadingsTable& table,
                        const std::string& separator) {
  ostrel::ChartTrace traced;
  ostrel::chartTraceOf(table, separator, traced);
  const ostrel::ChartTrace& shown = chart.model().rows();
  ASSERT_EQ(shown.size(), traced.size());
  for (const std::size_t row : {std::size_t{0}, traced.size() / 2, traced.size() - 1}) {
    const auto plotted = shown.at(row);
    const auto expected = traced.at(row);
    ASSERT_EQ(plotted.has_value(), expected.has_value()) << row;
    if (expected) {
      EXPECT_EQ(plotted->base, expected->base) << row;
    }
  }
}

std::vector<ostrel::sim::FrameBuilder::Frame> quickPhases() {
  std::vector<ostrel::sim::FrameBuilder::Frame> frames;
  const std::vector<ostrel::sim::MeterPhase> phases = ostrel::sim::demoPhases();
  for (std::size_t p = 2; p < phases.size(); ++p) {
    frames.insert(frames.end(), phases[p].frames.begin(), phases[p].frames.end());
  }
  return frames;
}

// The window on the virtual meter, recording, with a table of `records` records before.
struct RecordingWindow {
  explicit RecordingWindow(std::size_t records)
      : window(state, std::make_unique<ostrel::test::StubDialogs>(dialogs)),
        link(window, platform, " (virtual meter)"),
        reportAndChart(window, state) {
    fill(window.table(), records);
    window.setRecordedHook([this](std::size_t row) {
      recordedTimes[*window.table().no(row)] = *window.table().timeMs(row);
    });
    window.Panel2Click();
  }
  // The longest time between two records the meter's readings made, in milliseconds.
  [[nodiscard]] std::int32_t longestGap() const {
    std::int32_t longest = 0;
    for (auto it = recordedTimes.begin(); std::next(it) != recordedTimes.end(); ++it) {
      const std::int32_t gap = (std::next(it)->second - it->second + 86400000) % 86400000;
      longest = std::max(longest, gap);
    }
    return longest;
  }

  ostrel::SimHidPlatform platform;
  // The quick phases of the demonstration, without its ten-minute timed test: that test's
  // resistance climbs above every value of the table for minutes, a cost of its own beside a
  // large table, not the file work this test is about.
  ostrel::sim::VirtualMeter meter{platform, quickPhases()};
  ostrel::AppState state;
  ostrel::test::DialogLog dialogs;
  ostrel::TFrmTest window;
  ostrel::WindowLink link;
  ostrel::ReportAndChart reportAndChart;
  std::map<std::int32_t, std::int32_t> recordedTimes;  // record number -> time of day (ms)
};

// Presses Cancel as soon as the worker tells that a part of the file is written.
// The poll ends with the job it watches (and with `work`), so it never acts on a later job.
void cancelOnceWriting(ostrel::BackgroundWork& work) {
  auto* poll = new QTimer(&work);
  auto seenBusy = std::make_shared<bool>(false);
  QObject::connect(poll, &QTimer::timeout, [&work, poll, seenBusy] {
    if (work.busy()) *seenBusy = true;
    if (*seenBusy && !work.busy()) {
      poll->deleteLater();
      return;
    }
    if (work.permille() < 1) return;
    work.cancel();
    poll->deleteLater();
  });
  poll->start(0);
}

// The meter sends a frame about every 250 ms; one second more is the most a gap may take.
constexpr std::int32_t longestAllowedGapMs = 250 + 1000;

TEST(WindowFileWork, RecordingGoesOnWhileAMillionRecordsAreSavedAndLoaded) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  RecordingWindow w(1'000'000);
  ReadingsTable& table = w.window.table();
  ReadingsTable reportRows;  // what the report's preview shows
  ostrel::copyRecords(table, 0, 100'000, reportRows);
  ostrel::ReadingsTableDataSet dataSet(reportRows);
  ASSERT_TRUE(ostrel::test::pumpUntil([&] { return w.recordedTimes.size() >= 3; }));

  // Save: the file holds the table as it was at the click.
  const QString packet = dir.filePath(QStringLiteral("big.xml"));
  w.dialogs.saveAnswer = packet;
  const std::size_t atSave = table.recordCount();
  w.window.Save_asClick();
  ASSERT_EQ(w.dialogs.messages.size(), 1);
  EXPECT_EQ(w.dialogs.messages.back(),
            QStringLiteral("Save table to specified file: %1 Scuss!").arg(packet));
  const ostrel::RecordFields lastSaved = table.record(atSave - 1);
  EXPECT_EQ(w.window.hasUnsavedReadings(), table.recordCount() > atSave)
      << "readings recorded during the save are not in the file";

  // Load the packet back: it takes the table's place, and the readings recorded while it
  // was read follow it with their own numbers.
  ASSERT_TRUE(ostrel::test::pumpUntil([&] { return table.recordCount() > atSave + 1; }));
  w.dialogs.openAnswer = packet;
  w.dialogs.unsavedAnswer = ostrel::UnsavedReadingsAnswer::Discard;
  const std::int32_t lastBefore = *table.no(table.recordCount() - 1);
  w.window.OpenClick();
  EXPECT_TRUE(w.dialogs.errors.isEmpty());
  ASSERT_GE(table.recordCount(), atSave);
  EXPECT_EQ(table.record(atSave - 1).No, lastSaved.No);
  for (std::size_t row = atSave; row < table.recordCount(); ++row) {
    EXPECT_EQ(*table.no(row), lastBefore + static_cast<std::int32_t>(row - atSave + 1));
  }
  EXPECT_EQ(w.window.hasUnsavedReadings(), table.recordCount() > atSave);
  expectChartFollows(w.reportAndChart.chart(), table, w.state.DecimalSeparatorText);

  // A text file appends: the table before, the file's records, then those recorded meanwhile.
  const QString text = dir.filePath(QStringLiteral("small.txt"));
  {
    ReadingsTable small;
    fill(small, 3);
    ASSERT_TRUE(ostrel::SaveTableToFile(small, text.toStdString()).ok());
  }
  const std::size_t beforeText = table.recordCount();
  w.dialogs.openAnswer = text;
  w.window.OpenClick();
  ASSERT_GE(table.recordCount(), beforeText + 3);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(table.no(beforeText + i), static_cast<std::int32_t>(i + 1));
  }
  expectChartFollows(w.reportAndChart.chart(), table, w.state.DecimalSeparatorText);

  // The report of the first 100,000 records as a PDF, from its preview.
  const ostrel::ReportLayout layout(dataSet, ostrel::reportTextsNow(QStringLiteral("2703")));
  ostrel::ReportPreviewDialogs previewDialogs = ostrel::ReportPreviewDialogs::standard();
  const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
  QStringList previewErrors;
  previewDialogs.saveFileName = [&](QWidget*, const QString&, const QString&) { return pdf; };
  previewDialogs.showError = [&](QWidget*, const QString& message) { previewErrors << message; };
  {
    ostrel::ReportPreview preview(layout, &w.window, previewDialogs);
    preview.setBackgroundWork(&w.window.fileWork(), w.reportAndChart.reportSnapshots());
    const std::size_t beforePdf = table.recordCount();
    preview.saveAs(ostrel::ReportFormat::Pdf);
    EXPECT_TRUE(previewErrors.isEmpty()) << previewErrors.join(u'\n').toStdString();
    EXPECT_GT(QFileInfo(pdf).size(), 100'000);
    ASSERT_TRUE(ostrel::test::pumpUntil([&] { return table.recordCount() > beforePdf + 1; }));
  }
  EXPECT_LE(w.longestGap(), longestAllowedGapMs);
  // The file holds the records the table held at the click, no more.
  ReadingsTable saved;
  ASSERT_TRUE(ostrel::LoadTableFromFile(packet.toStdString(), saved, false).ok());
  ASSERT_EQ(saved.recordCount(), atSave);
  EXPECT_EQ(saved.record(atSave - 1).No, lastSaved.No);
  EXPECT_EQ(saved.record(atSave - 1).TimeMs, lastSaved.TimeMs);
  EXPECT_EQ(saved.record(atSave - 1).Value, lastSaved.Value);
}

// A reading recorded while Save Data runs is not in the file: the table still holds unsaved
// readings, so closing the window asks. The save is held at its flush until a reading has been
// recorded, so one always arrives during it.
TEST(WindowFileWork, AReadingRecordedWhileTheSaveRunsStaysUnsaved) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  RecordingWindow w(10);
  ReadingsTable& table = w.window.table();
  bool recordedWhileHeld = false;
  w.window.setRecordedHook([&](std::size_t /*row*/) {
    const std::lock_guard lock(saveHold.mutex);
    if (!saveHold.held) return;
    recordedWhileHeld = true;
    saveHold.holding = false;
    saveHold.changed.notify_all();
  });
  const QString packet = dir.filePath(QStringLiteral("held.xml"));
  w.dialogs.saveAnswer = packet;
  const std::size_t atSave = table.recordCount();
  {
    const std::lock_guard lock(saveHold.mutex);
    saveHold.holding = true;
  }
  w.window.Save_asClick();
  {
    const std::lock_guard lock(saveHold.mutex);
    saveHold.holding = false;
  }
  ASSERT_TRUE(recordedWhileHeld) << "no reading was recorded while the save was held";
  ASSERT_EQ(w.dialogs.messages.size(), 1);
  EXPECT_EQ(w.dialogs.messages.back(),
            QStringLiteral("Save table to specified file: %1 Scuss!").arg(packet));
  ReadingsTable saved;
  ASSERT_TRUE(ostrel::LoadTableFromFile(packet.toStdString(), saved, false).ok());
  EXPECT_EQ(saved.recordCount(), atSave);
  ASSERT_GT(table.recordCount(), atSave);
  EXPECT_TRUE(w.window.hasUnsavedReadings());

  w.window.Panel2Click();  // recording stops: nothing more comes in while closing is asked
  w.dialogs.unsavedAnswer = ostrel::UnsavedReadingsAnswer::Cancel;
  EXPECT_FALSE(w.window.close());
  EXPECT_EQ(w.dialogs.unsavedQuestions.size(), 1);
}

// Cancel: the old file stays byte for byte when a save (text, packet, workbook) is cancelled
// while it writes, and the table as it was when a load is cancelled (a packet while it is
// read, a text file while the table's snapshot is taken).
TEST(WindowFileWork, CancelLeavesTheOldFileAndTheTableAsTheyWere) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  RecordingWindow w(1'000'000);
  ReadingsTable& table = w.window.table();
  ASSERT_TRUE(ostrel::test::pumpUntil([&] { return w.recordedTimes.size() >= 1; }));
  // Recording stops, so that the table stays as it was by the meter too.
  w.window.Panel2Click();
  ostrel::test::pumpFor(std::chrono::milliseconds(400));
  const std::size_t records = table.recordCount();
  const auto last = table.record(records - 1);

  int files = 0;
  for (const char* name : {"old.txt", "old.xml", "old.xlsx"}) {
    SCOPED_TRACE(name);
    const QString path = dir.filePath(QString::fromLatin1(name));
    const bool workbook = path.endsWith(QStringLiteral(".xlsx"));  // written, never loaded
    {
      ReadingsTable old;
      fill(old, workbook ? 10 : 600'000);
      ASSERT_TRUE(ostrel::SaveTableToFile(old, path.toStdString()).ok());
      ++files;
    }
    const std::string oldBytes = fileBytes(path);

    w.dialogs.saveAnswer = path;
    cancelOnceWriting(w.window.fileWork());
    w.window.Save_asClick();
    EXPECT_TRUE(fileBytes(path) == oldBytes);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), files)
        << "no temporary file is left";
    EXPECT_TRUE(w.window.hasUnsavedReadings());
    if (workbook) continue;

    w.dialogs.openAnswer = path;
    w.dialogs.unsavedAnswer = ostrel::UnsavedReadingsAnswer::Discard;
    QTimer::singleShot(0, [&] { w.window.fileWork().cancel(); });
    w.window.OpenClick();
    ASSERT_EQ(table.recordCount(), records);
    EXPECT_EQ(table.record(records - 1).No, last.No);
    EXPECT_EQ(table.record(records - 1).TimeMs, last.TimeMs);
  }
  EXPECT_TRUE(w.dialogs.messages.isEmpty()) << "a cancelled save says nothing";
  EXPECT_TRUE(w.dialogs.errors.isEmpty()) << "a cancelled load says nothing";
  EXPECT_FALSE(w.window.fileWork().busy());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
