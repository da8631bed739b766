#pragma once

#include <QDateTime>
#include <QFrame>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/Result.h"
#include "record/chart/ChartNavigation.h"
#include "record/chart/TrendChartModel.h"
#include "ui/chart/ChartGeometry.h"
#include "ui/chart/ChartPlacement.h"
#include "ui/chart/ChartToolStrip.h"

namespace ostrel {

class ChartPlotView;
class ReadingsTable;

// How the chart tells the user about failures and successes; message boxes by default.
struct ChartPrompts {
  std::function<void(const QString& text)> showError;        // an error with an OK button
  std::function<void(const QString& text)> showInformation;  // information with an OK button
};

// The trend chart Chtshow: the readings in table order as an area series (Series2, index 0)
// or a line series (Series1, index 1), paged, with its tool strip along the top edge. X is
// the row, Y the reading's quantity on an axis fitted to the page (see ChartPlot.h);
// readings that are not numbers are gaps. Starts 361 x 209 with one sample point per
// series, the area series shown, 100 points per page, page 1. Recording a reading costs
// the same at any table size. Main thread only.
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

  // Plots the next record of the table as it is recorded; a value that is not a number or
  // a unit the chart does not know leaves a gap. While the last page is shown, a reading
  // that starts a new page moves the chart (and its label) to it.
  void plotReading(std::optional<std::string_view> valueGbk,
                   std::optional<std::string_view> unitGbk);
  // Plots every record of a (loaded or emptied) table in place of the rows held; an empty
  // table gives every series its sample point. The page is kept where it still exists.
  void plotTable(const ReadingsTable& table);
  // The trace of a table made beforehand (on a load's worker thread): the next plotTable of a
  // table with as many rows takes it instead of tracing the table again on the main thread.
  void adoptTableTrace(ChartTrace trace) { m_adoptedTrace = std::move(trace); }
  // The table was emptied: every series gets its sample point, as by BtNewClick.
  void clearReadings();
  // The tool tip of a plotted reading, by its table row (from 0); none by default.
  void setPointDescriber(std::function<QString(std::size_t tableRow)> describe);

  // Makes series `index` (0 area, 1 line) the only active and shown one.
  void ShowSeries(int index);
  // BtFill toggled: shows the area series when it is checked, the line series when not.
  void BtFillClick();
  // Points per page := the edit's text as a 32-bit integer. An empty text, one beyond the
  // 32-bit range or a negative one is reported and the previous value kept.
  void MaxrecordChange();
  // The page buttons' clicks: each moves the page and sets the buttons' enabled states as
  // ChartNavigation.h says, shows the page in Bt10 and redraws when the page moved.
  // BtFirst: page 1; BtFirst and BTPrevious disabled, the others enabled.
  void BtFirstClick();
  // BTPrevious: the page before; on page 1 it disables BtFirst and BTPrevious instead.
  void BTPreviousClick();
  // BtNext: the page after; on the last page it disables BtNext and BTlast instead.
  void BtNextClick();
  // BTlast: the last page; BtNext and BTlast disabled, the others enabled.
  void BTlastClick();
  // Shows page `page` (limited to the pages there are) and its number in the label, as
  // paging there with the buttons would, without changing the buttons' states.
  void showPageNumber(std::int32_t page);
  // "Delete Graphic": every series gets its sample point; the page and its label become 1,
  // the only page left.
  void BtNewClick();
  // Enlarges the chart over what the window shows, or restores it to the place it was
  // enlarged from. The chart is enlarged exactly when it stands elsewhere than that saved
  // place, wherever the window is scrolled. Enlarged, it covers the client area from 2 px
  // in and 30 px down (below the top row of controls) to the scroll bars, where the window
  // is scrolled (a placement without a client size: the window's outer size less 12 px
  // across and 90 px down). Restored, the window is scrolled to show all of it.
  void TbSxClick();
  // Writes the chart's picture (its plot as displayed, see saveChartBitmap) to
  // $HOME/TestGraph/<yymmddhhnn>page<label>.bmp, creating the folder when it is missing.
  void BtSaveClick();
  // Draws the chart's picture into `path` (BMP, or PNG for a name ending ".png"). A failure
  // names the path and the reason (see saveChartBitmap) and leaves an existing file as it was.
  Result<> saveBitmap(const QString& path);
  // The same for a path given as the system's bytes, which need not be valid UTF-8.
  Result<> saveBitmap(const std::string& path);

  [[nodiscard]] const TrendChartModel& model() const { return m_model; }
  [[nodiscard]] ChartPlotView* plotView() const { return m_plot; }
  [[nodiscard]] const ChartToolStrip& toolStrip() const { return m_strip; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void connectToolStrip();
  void refillSamples();
  void redraw();
  // Shows the current page in the label.
  void showPage();
  // Shows the page buttons' states and the page label; redraws when the page moved.
  void applyNavigation(std::int32_t previousPage);

  ChartGeometry& m_savedGeometry;
  std::string m_decimalSeparator;
  std::optional<ChartTrace> m_adoptedTrace;
  TrendChartModel m_model;
  ChartNavigationButtons m_buttons;
  ChartToolStrip m_strip;
  ChartPlotView* m_plot = nullptr;  // owned by this frame
  std::size_t m_tableRows = 0;      // records of the table seen so far
  std::function<QString(std::size_t tableRow)> m_describe;
  std::unique_ptr<ChartPlacement> m_placement;
  ChartPrompts m_prompts;
  std::function<QDateTime()> m_now;
};

}  // namespace ostrel
