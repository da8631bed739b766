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
};

}  // namespace ostrel
