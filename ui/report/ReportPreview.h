#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "ui/report/ReportExport.h"
#include "ui/report/ReportPreviewDialogs.h"

class QLabel;
class QScrollArea;
class QSpinBox;

namespace ostrel {

class BackgroundWork;
class WorkProgress;
class ReportLayout;
class ReportPageView;

// A copy of the rows a report prints that a worker thread may read, taken on the main thread a
// slice at a time (the live table keeps growing meanwhile).
class ReportRowsSnapshot {
 public:
  virtual ~ReportRowsSnapshot() = default;
  // Copies the next slice; true once all rows are copied.
  virtual bool copySlice() = 0;
  // The copy, complete once copySlice() said true; read only by the worker from then on.
  [[nodiscard]] virtual const ReportRows& rows() const = 0;
};
// Makes an empty snapshot of the first rowCount rows of the report's source.
using ReportSnapshotMaker = std::function<std::unique_ptr<ReportRowsSnapshot>(int rowCount)>;

// The preview window of a generated report: page through, zoom, print through the print
// dialog, save as PDF (the report's own file) and export as HTML, text or CSV. Shows one
// page at a time and lays out only that page, so reports of any length open at once.
// Run it with exec(): the nested event loop keeps the program working meanwhile.
// Main thread only; the layout must outlive the window.
class ReportPreview : public QDialog {
  Q_OBJECT

 public:
  explicit ReportPreview(const ReportLayout& layout, QWidget* parent = nullptr,
                         ReportPreviewDialogs dialogs = ReportPreviewDialogs::standard());

  [[nodiscard]] int pageNumber() const;
  [[nodiscard]] double zoom() const;
  [[nodiscard]] const ReportPageView& pageView() const { return *m_view; }

  void showPage(int number);
  void setZoom(double zoom);
  void zoomIn();
  void zoomOut();
  // Zoom so that a whole page width fits the window.
  void fitWidth();
  // Print dialog, then the chosen pages. Errors are shown, not returned.
  void printReportPages();
  // Asks for a file name and writes the report in the given format; adds the format's
  // extension when the name has none. Errors are shown, not returned.
  void saveAs(ReportFormat format);
  // Saving and printing then run on a worker of `work` ("ostrel-report") over a snapshot
  // made by `maker`, with progress and Cancel; without it they run here. `work` must outlive
  // the preview.
  void setBackgroundWork(BackgroundWork* work, ReportSnapshotMaker maker);

 private:
  void buildToolBar();
  void pageShown();
  // Runs `write` over a layout of the snapshot on the worker, waiting with the event loop
  // turning; false when it did not start (no worker, or one is busy).
  bool runOnWorker(const QString& title, const QString& label,
                   std::function<bool(const ReportLayout& layout, WorkProgress& progress)> write,
                   std::function<void(bool ok, bool cancelled)> done);

  const ReportLayout& m_layout;
  ReportPreviewDialogs m_dialogs;
  ReportPageView* m_view = nullptr;
  QScrollArea* m_scroll = nullptr;
  QSpinBox* m_pageBox = nullptr;
  QLabel* m_zoomLabel = nullptr;
  BackgroundWork* m_work = nullptr;
  ReportSnapshotMaker m_snapshotMaker;
};

}  // namespace ostrel
