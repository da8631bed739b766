#pragma once

#include <QTableView>

namespace ostrel {

// DBGrid1: read-only, whole-row selection, a title row and a row-indicator column that
// marks the current row. Cells Arial 11 px centred, titles Arial 12 px centred, the column
// widths of the layout; the user may drag column borders. When rows are appended, the last
// one becomes the current row. Main thread only.
class ReadingsGrid : public QTableView {
 public:
  explicit ReadingsGrid(QWidget* parent);

  void setModel(QAbstractItemModel* model) override;

  // Makes the last row current and scrolls it into view (no-op on an empty model).
  void showLastRow();

  // The part of the grid that the window shows, in grid coordinates. The grid's scroll bars
  // are placed inside it and the rows and columns scroll far enough to come wholly into it,
  // so nothing the grid shows lies under the window's own scroll bars; the grid's geometry
  // stays. Only the right and bottom edges give way, never below one row and a scroll bar.
  void fitInto(const QRect& shown);

 protected:
  void updateGeometries() override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void placeScrollBars();

  QSize m_hidden{0, 0};                // widths hidden at the right and bottom
  QScrollBar* m_vertical = nullptr;    // in sight; mirrors the view's own vertical bar
  QScrollBar* m_horizontal = nullptr;  // in sight; mirrors the view's own horizontal bar
};

}  // namespace ostrel
