#pragma once

#include <QDateTime>
#include <QFrame>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "record/chart/ChartNavigation.h"
#include "record/chart/TrendChartModel.h"
#include "ui/chart/ChartGeometry.h"
#include "ui/chart/ChartPlacement.h"
#include "ui/chart/ChartToolStrip.h"

class QChart;
class QChartView;
class QGraphicsRectItem;
class QLineSeries;
class QValueAxis;
class QXYSeries;

namespace ostrel {

class ReadingsTable;

// How the chart tells the user about failures and successes; message boxes by default.
struct ChartPrompts {
  std::function<void(const QString& text)> showError;        // an error with an OK button
  std::function<void(const QString& text)> showInformation;  // information with an OK button
};

// The trend chart Chtshow: an area series (Series2, index 0) and a line series (Series1,
// index 1) of the readings (X the record number, Y the value), paged, with its tool strip
// along the top edge. Only the current page's points of the active series are in the
// drawn series. Starts 361 x 209 with one sample point per series, the area series shown,
// 100 points per page, page 1. Main thread only.
class Chtshow final : public QFrame {
 public:
  // savedGeometry: the program-wide bounds from before the chart was enlarged; must
  // outlive the chart. decimalSeparatorText: the locale's decimal separator (GBK bytes)
  // used by the value texts.
  Chtshow(ChartGeometry& savedGeometry, std::string decimalSeparatorText,
          QWidget* parent = nullptr);
  ~Chtshow() override;

  // Where enlarging reads the window size and moves the chart. Default: a
  // WidgetChartPlacement in the chart's parent coordinates.
  void setPlacement(std::unique_ptr<ChartPlacement> placement);
  void setPrompts(ChartPrompts prompts);
  // The clock of the bitmap file names; local time now by default.
  void setClock(std::function<QDateTime()> now);

  // Plots one record as it is recorded. Records without a number or whose value is not a
  // number (overload "L", "----", a lone "-", empty) are left out.
  void plotReading(std::optional<std::int32_t> no, std::optional<std::string_view> valueGbk);
  // Plots every record of a (loaded) table in place of the points held; with no record
  // that plots, every series gets its sample point. Page and label stay.
  void plotTable(const ReadingsTable& table);
  // The table was emptied: every series gets its sample point, as by BtNewClick.
  void clearReadings();

  // Makes series `index` (0 area, 1 line) the only active and shown one.
  void ShowSeries(int index);
  void BtFillClick();
  // Points per page := the edit's text as a 32-bit integer. An empty text, one beyond the
  // 32-bit range or a negative one is reported and the previous value kept.
  void MaxrecordChange();
  void BtFirstClick();
  void BTPreviousClick();
  void BtNextClick();
  void BTlastClick();
  // "Delete Graphic": every series gets its sample point; page and label stay.
  void BtNewClick();
  // Enlarges the chart over most of the window, or restores it when enlarged.
  void TbSxClick();
  // Writes the chart as displayed to $HOME/TestGraph/<yymmddhhnn>page<label>.bmp.
  void BtSaveClick();

  [[nodiscard]] const TrendChartModel& model() const { return m_model; }
  [[nodiscard]] QChart* chart() const { return m_chart; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void buildChart();
  void connectToolStrip();
  void refillSamples();
  void redraw();
  void redrawSeries(int index);
  void showPoint(int index, std::size_t insertedAt);
  void updateBottomAxis();
  void updateLeftWall();
  // Shows the page buttons' states and the page label; redraws when the page moved.
  void applyNavigation(std::int32_t previousPage);
  [[nodiscard]] QXYSeries* pointsOf(int index) const;

  ChartGeometry& m_savedGeometry;
  std::string m_decimalSeparator;
  TrendChartModel m_model;
  ChartNavigationButtons m_buttons;
  std::array<ChartPageView, TrendChartModel::seriesCount> m_shown{};
  ChartToolStrip m_strip;
  QChartView* m_view = nullptr;
  QChart* m_chart = nullptr;                // owned by m_view
  QLineSeries* m_areaPoints = nullptr;      // upper line of Series2, owned by m_chart
  QLineSeries* m_Series1 = nullptr;         // owned by m_chart
  QValueAxis* m_bottomAxis = nullptr;       // owned by m_chart
  QGraphicsRectItem* m_leftWall = nullptr;  // owned by m_chart
  std::unique_ptr<ChartPlacement> m_placement;
  ChartPrompts m_prompts;
  std::function<QDateTime()> m_now;
};

}  // namespace ostrel
