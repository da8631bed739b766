#include <gtest/gtest.h>

#include <QWidget>

#include "FakeDataSet.h"
#include "record/ReadingsTable.h"
#include "record/TimeText.h"
#include "ui/report/ReadingsTableDataSet.h"
#include "ui/report/TestDataReport.h"

namespace ostrel {
namespace {

RecordFields reading(std::int32_t no, std::int32_t timeMs, const char* value) {
  RecordFields r;
  r.No = no;
  r.TimeMs = timeMs;
  r.Value = value;
  r.Unit = "M\xA6\xB8";
  r.V_Range = "IR:500V 20G\xA6\xB8";
  return r;
}

// Counts what the grid would be told.
class GridProbe : public ReadingsTableObserver {
 public:
  void recordsAppended(std::size_t, std::size_t count) override {
    appended += static_cast<int>(count);
  }
  void tableReset() override { ++resets; }
  int appended = 0;
  int resets = 0;
};

TEST(ReadingsTableDataSet, ShowsEveryFieldAsTheGridDoes) {
  ReadingsTable cds1;
  cds1.append(reading(7, 32703040, "0,512"));  // 09:05:03.040
  cds1.append(RecordFields{});
  const ReadingsTableDataSet rows(cds1);
  ASSERT_EQ(rows.rowCount(), 2);
  const QStringList expected{
      "7", QString::fromStdString(formatLongTime(32703040)), "0,512", "MΩ", "IR:500V 20GΩ", ""};
  for (int c = 0; c < 6; ++c) {
    EXPECT_EQ(rows.cell(0, c), expected[c]) << c;
    EXPECT_EQ(rows.cell(1, c), QString()) << c;
  }
  EXPECT_EQ(rows.cell(2, 0), QString());  // a row the table no longer holds
}

TEST(ReadingsTableDataSet, GridCatchesUpWithRecordsMadeDuringThePreview) {
  ReadingsTable cds1;
  for (int i = 1; i <= 38; ++i) cds1.append(reading(i, 1000 * i, "1.234"));
  GridProbe grid;
  cds1.addObserver(&grid);
  ReadingsTableDataSet dataSet(cds1);
  std::int32_t ReportPageTotal = 1;
  TestDataReport QuickRep1(dataSet, ReportPageTotal);
  int pagesShown = 0;
  int gridToldDuringPreview = -1;
  QuickRep1.setPreviewRunner([&](const ReportLayout& layout, QWidget*) {
    cds1.append(reading(39, 39000, "1.235"));  // recorded while the preview is open
    pagesShown = layout.pageCount();
    gridToldDuringPreview = grid.appended + grid.resets;
  });
  QWidget window;
  QuickRep1.MajPrintClick(window);
  EXPECT_EQ(ReportPageTotal, 2);
  EXPECT_EQ(pagesShown, 2);
  EXPECT_EQ(gridToldDuringPreview, 0);
  EXPECT_FALSE(cds1.controlsDisabled());
  EXPECT_GE(grid.appended + grid.resets, 1);
  cds1.removeObserver(&grid);
}

}  // namespace
}  // namespace ostrel
