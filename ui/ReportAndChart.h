#pragma once

#include <cstddef>

#include "record/ReadingsTable.h"
#include "ui/AppState.h"
#include "ui/report/ReadingsTableDataSet.h"
#include "ui/report/ReportPreview.h"
#include "ui/report/TestDataReport.h"

namespace ostrel {

class Chtshow;
class TFrmTest;

// The two views of the readings table that live beside the grid: the test data report
// behind "Print Data" (QuickRep1) and the trend chart Chtshow, which plots every record
// as it is recorded and replots after a load or a clear. Created after the window,
// destroyed before it. Main thread only.
class ReportAndChart final : private ReadingsTableObserver {
 public:
  ReportAndChart(TFrmTest& window, AppState& state);
  ~ReportAndChart() override;
  ReportAndChart(const ReportAndChart&) = delete;
  ReportAndChart& operator=(const ReportAndChart&) = delete;

  [[nodiscard]] Chtshow& chart() { return *m_chart; }
  [[nodiscard]] TestDataReport& report() { return QuickRep1; }
  // Snapshots of cds1 for the preview's saving and printing on the window's worker thread.
  [[nodiscard]] ReportSnapshotMaker reportSnapshots();

 private:
  void recordsAppended(std::size_t first, std::size_t count) override;
  void tableReset() override;

  TFrmTest& m_window;
  ReadingsTable& m_cds1;
  ReadingsTableDataSet m_reportData;
  TestDataReport QuickRep1;
  Chtshow* m_chart;  // owned by the window's scrolled content
};

}  // namespace ostrel
