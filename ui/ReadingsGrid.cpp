#include "ReadingsGrid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPolygon>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

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

// A scroll bar of our own placement that mirrors `inner` (range, steps, value) both ways.
QScrollBar* mirrorScrollBar(QScrollBar* inner, QWidget* parent) {
  auto* outer = new QScrollBar(inner->orientation(), parent);
  QObject::connect(inner, &QScrollBar::rangeChanged, outer, [inner, outer](int min, int max) {
    outer->setRange(min, max);
    outer->setPageStep(inner->pageStep());
    outer->setSingleStep(inner->singleStep());
    outer->setVisible(max > min);
  });
  QObject::connect(inner, &QScrollBar::valueChanged, outer, &QScrollBar::setValue);
  QObject::connect(outer, &QScrollBar::valueChanged, inner, &QScrollBar::setValue);
  outer->hide();
  return outer;
}

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

  // The view's own scroll bars sit at its edges, which the window may cover; these two are
  // placed where the user can reach them.
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  verticalScrollBar()->setSingleStep(layout::gridRowHeight);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_vertical = mirrorScrollBar(verticalScrollBar(), this);
  m_horizontal = mirrorScrollBar(horizontalScrollBar(), this);
}

void ReadingsGrid::fitInto(const QRect& shown) {
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const int leastWidth = layout::gridIndicatorWidth + 2 * bar + 2 * frameWidth();
  const int leastHeight =
      horizontalHeader()->height() + layout::gridRowHeight + 2 * bar + 2 * frameWidth();
  const QSize hidden(
      std::clamp(width() - 1 - shown.right(), 0, std::max(0, width() - leastWidth)),
      std::clamp(height() - 1 - shown.bottom(), 0, std::max(0, height() - leastHeight)));
  if (hidden == m_hidden) return;
  const QModelIndex current = currentIndex();
  const bool followLast = current.isValid() && current.row() == model()->rowCount() - 1 &&
                          verticalScrollBar()->value() == verticalScrollBar()->maximum();
  m_hidden = hidden;
  updateGeometries();
  if (followLast) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void ReadingsGrid::updateGeometries() {
  QTableView::updateGeometries();
  // Scroll far enough that the last row and column clear what covers the viewport's edges:
  // the hidden strips and the bars placed over the viewport.
  const QRect view = viewport()->rect();
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const int coveredRight = m_hidden.width() + bar;
  const bool horizontalNeeded = horizontalHeader()->length() > view.width() - coveredRight;
  const int coveredBottom = m_hidden.height() + (horizontalNeeded ? bar : 0);
  verticalScrollBar()->setRange(
      0, std::max(0, verticalHeader()->length() - (view.height() - coveredBottom)));
  verticalScrollBar()->setPageStep(std::max(1, view.height() - coveredBottom));
  horizontalScrollBar()->setRange(
      0, std::max(0, horizontalHeader()->length() - (view.width() - coveredRight)));
  placeScrollBars();
}

void ReadingsGrid::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  placeScrollBars();
}

void ReadingsGrid::placeScrollBars() {
  if (!m_vertical) return;
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const QRect inside = QRect(QPoint(0, 0), size() - m_hidden)
                           .adjusted(frameWidth(), frameWidth(), -frameWidth(), -frameWidth());
  const int top = horizontalHeader()->isVisible() ? viewport()->geometry().top() : inside.top();
  const int horizontalHeight = m_horizontal->isVisibleTo(this) ? bar : 0;
  m_vertical->setGeometry(inside.right() + 1 - bar, top, bar,
                          inside.bottom() + 1 - top - horizontalHeight);
  const int verticalWidth = m_vertical->isVisibleTo(this) ? bar : 0;
  m_horizontal->setGeometry(inside.left(), inside.bottom() + 1 - bar,
                            inside.width() - verticalWidth, bar);
  m_vertical->raise();
  m_horizontal->raise();
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
  // To the very end: the last row then clears whatever covers the viewport's bottom edge.
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

}  // namespace ostrel
