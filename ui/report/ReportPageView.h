#pragma once

#include <QWidget>
#include <vector>

#include "ui/report/ReportLayout.h"

namespace ostrel {

// Shows one page of a report at a zoom factor (1 = natural size on this screen). Lays
// out only the page shown. Main thread only; the layout must outlive the view.
class ReportPageView : public QWidget {
  Q_OBJECT

 public:
  explicit ReportPageView(const ReportLayout& layout, QWidget* parent = nullptr);

  [[nodiscard]] int pageNumber() const { return m_pageNumber; }
  [[nodiscard]] double zoom() const { return m_zoom; }
  // Clamped to 1..pageCount.
  void setPageNumber(int number);
  // Clamped to 0.1..8.
  void setZoom(double zoom);
  [[nodiscard]] QSize sizeHint() const override;
  // The elements of the page shown.
  [[nodiscard]] const std::vector<ReportElement>& elements() const { return m_elements; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  [[nodiscard]] double dotsPerMm() const;

  const ReportLayout& m_layout;
  int m_pageNumber = 0;
  double m_zoom = 1.0;
  std::vector<ReportElement> m_elements;
};

}  // namespace ostrel
