#include "ReadingsGrid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPolygon>

#include "MainWindowLayout.h"
#include "WindowFonts.h"

namespace ostrel {

namespace {

// The row indicator: sections without numbers; the current row carries a black triangle.
class RowIndicator : public QHeaderView {
 public:
  explicit RowIndicator(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {}

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
    QHeaderView::paintSection(painter, rect, logicalIndex);
    const QItemSelectionModel* selection = selectionModel();
    if (!selection || selection->currentIndex().row() != logicalIndex) return;
    const QPoint c = rect.center();
    painter->save();
    painter->setClipRect(rect);  // the style may leave an emptied clip behind
    painter->setPen(Qt::NoPen);
    painter->setBrush(Qt::black);
    painter->drawPolygon(QPolygon(
        {QPoint(c.x() - 2, c.y() - 4), QPoint(c.x() + 2, c.y()), QPoint(c.x() - 2, c.y() + 4)}));
    painter->restore();
  }
};

}  // namespace

ReadingsGrid::ReadingsGrid(QWidget* parent) : QTableView(parent) {
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setShowGrid(true);
  setWordWrap(false);
  setFont(arialFont(layout::gridCellPx));

  auto* indicator = new RowIndicator(this);
  setVerticalHeader(indicator);
  indicator->setSectionResizeMode(QHeaderView::Fixed);
  indicator->setDefaultSectionSize(layout::gridRowHeight);
  indicator->setMinimumSectionSize(layout::gridRowHeight);
  indicator->setFixedWidth(layout::gridIndicatorWidth);
  indicator->setSectionsClickable(false);

  QHeaderView* titles = horizontalHeader();
  titles->setFont(arialFont(layout::gridTitlePx));
  titles->setSectionResizeMode(QHeaderView::Interactive);
  titles->setDefaultAlignment(Qt::AlignCenter);
  titles->setHighlightSections(false);
  titles->setSectionsClickable(false);
  titles->setStretchLastSection(false);
}

void ReadingsGrid::setModel(QAbstractItemModel* model) {
  QTableView::setModel(model);
  for (int column = 0; column < static_cast<int>(std::size(layout::gridColumnWidths)); ++column) {
    setColumnWidth(column, layout::gridColumnWidths[column]);
  }
  if (!model) return;
  connect(model, &QAbstractItemModel::rowsInserted, this, [this] { showLastRow(); });
  connect(model, &QAbstractItemModel::modelReset, this, [this] { showLastRow(); });
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, verticalHeader()->viewport(),
          [header = verticalHeader()] { header->viewport()->update(); });
}

void ReadingsGrid::showLastRow() {
  const int rows = model() ? model()->rowCount() : 0;
  if (rows == 0) return;
  const int column = currentIndex().isValid() ? currentIndex().column() : 0;
  const QModelIndex last = model()->index(rows - 1, column);
  selectionModel()->setCurrentIndex(
      last, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(last);
}

}  // namespace ostrel
