#pragma once

#include <QDialog>

#include "ui/report/ReportExport.h"
#include "ui/report/ReportPreviewDialogs.h"

class QLabel;
class QScrollArea;
class QSpinBox;

namespace ostrel {

class ReportLayout;
class ReportPageView;

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

 private:
  void buildToolBar();
  void pageShown();

  const ReportLayout& m_layout;
  ReportPreviewDialogs m_dialogs;
  ReportPageView* m_view = nullptr;
  QScrollArea* m_scroll = nullptr;
  QSpinBox* m_pageBox = nullptr;
  QLabel* m_zoomLabel = nullptr;
};

}  // namespace ostrel
