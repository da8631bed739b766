#include "ReadingsGrid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPolygon>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <algorithm>

#include "GridScrollScale.h"
#include "MainWindowLayout.h"
#include "ReadingsGridModel.h"
#include "WindowFonts.h"

namespace ostrel {

namespace {

// The row indicator: sections without numbers; the current row carries a black triangle.
class RowIndicator : public QHeaderView {
 public:
  explicit RowIndicator(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {}

  // The indicator's width is fixed and its sections hold no text; Qt's hint would measure
  // the contents of up to 200 sections again after every inserted row.
  [[nodiscard]] QSize sizeHint() const override {
    return {layout::gridIndicatorWidth, defaultSectionSize()};
  }

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

// Rows kept between the rows in sight and a window edge that can still move, so that a key
// or a few wheel steps never reach the window's edge before the window slides.
constexpr std::size_t windowMargin = ReadingsGrid::windowRows / 8;

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
  // Tab and Shift+Tab go on to the window's next and previous control; the arrow keys, Page
  // Up/Down, Home and End move inside the grid.
  setTabKeyNavigation(false);
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
  // placed where the user can reach them. The vertical one spans the whole table, the view's
  // own only the window of rows it holds.
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  verticalScrollBar()->setSingleStep(layout::gridRowHeight);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_vertical = new QScrollBar(Qt::Vertical, this);
  m_vertical->hide();
  connect(m_vertical, &QScrollBar::valueChanged, this, [this](int value) {
    if (m_syncing) return;
    scrollToTop(verticalScale().topOf(value));
    followIfAtBottom();
  });
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
    if (m_syncing) return;
    syncVerticalBar();
    followIfAtBottom();
    slideWindowIfNeeded();
  });
  m_horizontal = mirrorScrollBar(horizontalScrollBar(), this);

  m_newRowsNote = new QToolButton(this);
  m_newRowsNote->setObjectName(QStringLiteral("newRowsNote"));
  m_newRowsNote->setFocusPolicy(Qt::NoFocus);  // reached with Ctrl+End from the grid
  m_newRowsNote->hide();
  connect(m_newRowsNote, &QToolButton::clicked, this, [this] {
    showLastRow();
    setFocus();
  });
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
  const bool followLast = followingLastRow();
  m_hidden = hidden;
  updateGeometries();
  if (followLast) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void ReadingsGrid::updateGeometries() {
  // QTableView's ranges leave out the covered strips and would cut the position short of
  // the true end: the position is kept and clamped to the ranges set here. Its clamp must
  // not reach the view either, which would scroll the rows away and back (and paint them
  // all again).
  const QScopedValueRollback syncing(m_syncing, true);
  const int position = verticalScrollBar()->value();
  {
    const QSignalBlocker quiet(verticalScrollBar());
    QTableView::updateGeometries();
  }
  // Scroll far enough that the last row and column clear what covers the viewport's edges:
  // the hidden strips and the bars placed over the viewport.
  const QRect view = viewport()->rect();
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const int coveredRight = m_hidden.width() + bar;
  const bool horizontalNeeded = horizontalHeader()->length() > view.width() - coveredRight;
  const int coveredBottom = m_hidden.height() + (horizontalNeeded ? bar : 0);
  m_pageHeight = std::max(1, view.height() - coveredBottom);
  verticalScrollBar()->setRange(0, std::max(0, verticalHeader()->length() - m_pageHeight));
  verticalScrollBar()->setPageStep(m_pageHeight);
  verticalScrollBar()->setValue(position);
  verticalHeader()->setOffset(verticalScrollBar()->value());
  horizontalScrollBar()->setRange(
      0, std::max(0, horizontalHeader()->length() - (view.width() - coveredRight)));
  syncVerticalBar();
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
  placeNewRowsNote();
}

// At the bottom right of the rows in sight, clear of the bars.
void ReadingsGrid::placeNewRowsNote() {
  if (!m_newRowsNote) return;
  const QRect shown = uncoveredViewport();
  const QSize size = m_newRowsNote->sizeHint();
  const QPoint bottomRight = viewport()->mapTo(this, shown.bottomRight());
  m_newRowsNote->setGeometry(QRect(QPoint(std::max(0, bottomRight.x() - size.width() - 1),
                                          std::max(0, bottomRight.y() - size.height() - 1)),
                                   size));
  m_newRowsNote->raise();
}

void ReadingsGrid::setModel(ReadingsGridModel* model) {
  if (m_window) m_window->setFollowsTable(true);
  m_window = model;
  m_following = false;
  setFollowing(true);
  if (m_window) m_window->setWindowRows(windowRows);
  m_currentRecord.reset();
  QTableView::setModel(model);
  for (int column = 0; column < static_cast<int>(std::size(layout::gridColumnWidths)); ++column) {
    setColumnWidth(column, layout::gridColumnWidths[column]);
  }
  if (!model) return;
  connect(model, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int) { rowsWereAppended(first); });
  connect(model, &QAbstractItemModel::modelReset, this, [this] { modelWasReset(); });
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, verticalHeader()->viewport(),
          [header = verticalHeader()] { header->viewport()->update(); });
}

void ReadingsGrid::showLastRow() {
  const std::size_t records = tableRows();
  const QScopedValueRollback showing(m_showingLast, true);
  setFollowing(true);
  if (records == 0) {
    m_currentRecord.reset();
    syncVerticalBar();
    return;
  }
  if (windowStart() + static_cast<std::size_t>(m_window->rowCount()) < records) {
    placeWindow(records);
  }
  // The rows' new extent, before scrolling to its end.
  executeDelayedItemsLayout();
  // To the very end: the last row then clears whatever covers the viewport's bottom edge.
  // Scrolled before anything is marked for painting, since Qt moves the rows on screen only
  // while none of them waits to be painted.
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  if (m_appendedFrom >= 0) {
    const int top = rowViewportPosition(m_appendedFrom) - 1;  // the grid line above the row
    viewport()->update(QRect(0, top, viewport()->width(), viewport()->height() - top));
  }
  const int column = currentIndex().isValid() ? currentIndex().column() : m_currentColumn;
  const QModelIndex last = m_window->index(m_window->rowCount() - 1, column);
  selectionModel()->setCurrentIndex(
      last, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  syncVerticalBar();
}

std::size_t ReadingsGrid::recordOfRow(int row) const {
  return windowStart() + static_cast<std::size_t>(std::max(row, 0));
}

QModelIndex ReadingsGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
  if (!m_window) return {};
  // Ctrl+Home and Ctrl+End go to the table's first and last rows, wherever the window is.
  const bool toTableEdge = modifiers.testFlag(Qt::ControlModifier) &&
                           (cursorAction == MoveHome || cursorAction == MoveEnd);
  if (toTableEdge) {
    const bool home = cursorAction == MoveHome;
    placeWindow(home ? 0 : tableRows());
    const int rows = m_window->rowCount();
    if (rows == 0) return {};
    return m_window->index(home ? 0 : rows - 1, home ? 0 : m_window->columnCount() - 1);
  }
  // Other moves go from the current row: bring it into the window with room around it.
  if (m_currentRecord && !windowHolds(*m_currentRecord, *m_currentRecord)) {
    placeWindowAround(*m_currentRecord);
  }
  return QTableView::moveCursor(cursorAction, modifiers);
}

void ReadingsGrid::scrollTo(const QModelIndex& index, ScrollHint hint) {
  QTableView::scrollTo(index, hint);
  if (!index.isValid()) return;
  const int top = rowViewportPosition(index.row());
  const int covered = top + rowHeight(index.row()) - m_pageHeight;
  if (covered > 0 && top - covered >= 0) {
    verticalScrollBar()->setValue(verticalScrollBar()->value() + covered);
  }
}

void ReadingsGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  // An invalid current index means the current record left the window (or the table was
  // reset, which showLastRow settles): the record stays current.
  if (!current.isValid()) return;
  m_currentRecord = recordOfRow(current.row());
  m_currentColumn = current.column();
  // A row the user moved to (a key, a click) other than the newest stops the grid following
  // the recording, even while the view is still at the bottom; the newest one resumes it.
  if (!m_syncing && !m_showingLast && m_window) {
    setFollowing(*m_currentRecord + 1 >= tableRows());
  }
}

std::size_t ReadingsGrid::tableRows() const { return m_window ? m_window->recordCount() : 0; }

std::size_t ReadingsGrid::windowStart() const { return m_window ? m_window->windowStart() : 0; }

std::int64_t ReadingsGrid::topInTable() const {
  return static_cast<std::int64_t>(windowStart()) * verticalHeader()->defaultSectionSize() +
         verticalScrollBar()->value();
}

GridScrollScale ReadingsGrid::verticalScale() const {
  return GridScrollScale::of(tableRows(), verticalHeader()->defaultSectionSize(), m_pageHeight);
}

bool ReadingsGrid::windowHolds(std::size_t first, std::size_t last) const {
  const std::size_t start = windowStart();
  const std::size_t end = start + static_cast<std::size_t>(m_window ? m_window->rowCount() : 0);
  const bool roomAbove = start == 0 || first >= start + windowMargin;
  const bool roomBelow = end >= tableRows() || last + windowMargin < end;
  return roomAbove && roomBelow;
}

bool ReadingsGrid::followingLastRow() const {
  const std::size_t records = tableRows();
  return records > 0 && m_currentRecord == records - 1 && currentIndex().isValid() &&
         verticalScrollBar()->value() == verticalScrollBar()->maximum();
}

void ReadingsGrid::scrollToTop(std::int64_t top) {
  const int rowHeight = verticalHeader()->defaultSectionSize();
  const auto first = static_cast<std::size_t>(std::max<std::int64_t>(top, 0) / rowHeight);
  const auto last =
      static_cast<std::size_t>((std::max<std::int64_t>(top, 0) + m_pageHeight) / rowHeight);
  if (!windowHolds(first, last)) placeWindowAround(first);
  {
    const QScopedValueRollback syncing(m_syncing, true);
    const std::int64_t inWindow = top - static_cast<std::int64_t>(windowStart()) * rowHeight;
    verticalScrollBar()->setValue(
        static_cast<int>(std::clamp<std::int64_t>(inWindow, 0, verticalScrollBar()->maximum())));
  }
  syncVerticalBar();
}

void ReadingsGrid::placeWindowAround(std::size_t record) {
  const std::size_t half = windowRows / 2;
  placeWindow(record > half ? record - half : 0);
}

void ReadingsGrid::placeWindow(std::size_t first) {
  if (!m_window) return;
  const std::size_t oldStart = windowStart();
  const int oldRows = m_window->rowCount();
  const std::int64_t top = topInTable();
  {
    const QScopedValueRollback placing(m_placingWindow, true);
    m_window->moveWindow(first);
  }
  if (windowStart() == oldStart && m_window->rowCount() == oldRows) return;
  {
    const QScopedValueRollback syncing(m_syncing, true);
    executeDelayedItemsLayout();
    const std::size_t start = windowStart();
    const auto rows = static_cast<std::size_t>(m_window->rowCount());
    if (m_currentRecord && *m_currentRecord >= start && *m_currentRecord - start < rows) {
      selectionModel()->setCurrentIndex(
          m_window->index(static_cast<int>(*m_currentRecord - start), m_currentColumn),
          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    // The same rows stay in sight where the new window holds them.
    const std::int64_t inWindow =
        top - static_cast<std::int64_t>(start) * verticalHeader()->defaultSectionSize();
    verticalScrollBar()->setValue(
        static_cast<int>(std::clamp<std::int64_t>(inWindow, 0, verticalScrollBar()->maximum())));
  }
  syncVerticalBar();
}

// Runs after the scroll that asked for it has finished: moving the window resets the model,
// which must not happen inside the view's own handling of a key, click or wheel step.
void ReadingsGrid::slideWindowIfNeeded() {
  if (!m_window || m_slidePending) return;
  const int rowHeight = verticalHeader()->defaultSectionSize();
  const auto first = static_cast<std::size_t>(topInTable() / rowHeight);
  const auto last = static_cast<std::size_t>((topInTable() + m_pageHeight) / rowHeight);
  if (windowHolds(first, last)) return;
  m_slidePending = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        m_slidePending = false;
        scrollToTop(topInTable());
      },
      Qt::QueuedConnection);
}

void ReadingsGrid::syncVerticalBar() {
  if (!m_vertical) return;
  const GridScrollScale scale = verticalScale();
  {
    const QScopedValueRollback syncing(m_syncing, true);
    m_vertical->setRange(0, scale.maximum());
    m_vertical->setSingleStep(scale.stepOf(verticalHeader()->defaultSectionSize()));
    m_vertical->setPageStep(scale.stepOf(m_pageHeight));
    m_vertical->setValue(scale.valueOf(topInTable()));
  }
  const bool needed = scale.maximum() > 0;
  if (needed == m_vertical->isVisibleTo(this)) return;
  m_vertical->setVisible(needed);
  placeScrollBars();
}

void ReadingsGrid::rowsWereAppended(int first) {
  if (!m_following) {
    rowsArrivedUnseen(tableRows());
    return;
  }
  const QScopedValueRollback appending(m_appendedFrom, first);
  showLastRow();
}

void ReadingsGrid::rowsArrivedUnseen(std::size_t records) {
  syncVerticalBar();
  const std::size_t unseen = records > m_seenRecords ? records - m_seenRecords : 0;
  if (unseen == 0) return;
  m_newRowsNote->setText(unseen == 1 ? QStringLiteral("1 new row \u25BC")
                                     : QStringLiteral("%1 new rows \u25BC").arg(unseen));
  m_newRowsNote->show();
  placeNewRowsNote();
}

void ReadingsGrid::setFollowing(bool following) {
  m_seenRecords = tableRows();
  if (following == m_following) return;
  m_following = following;
  if (following && m_newRowsNote) m_newRowsNote->hide();
  if (!m_window) return;
  if (following) {
    m_window->setFollowsTable(true);
  } else {
    m_window->setFollowsTable(false, [this] { rowsArrivedUnseen(tableRows()); });
  }
}

// The user scrolled: the view follows the recording again once at the table's bottom, and
// stops following once above it.
void ReadingsGrid::followIfAtBottom() {
  if (!m_window || m_appendedFrom >= 0) return;
  const GridScrollScale scale = verticalScale();
  const bool atBottom = topInTable() >= scale.lastTop;
  if (atBottom != m_following) setFollowing(atBottom);
}

// Appended rows change nothing above them: showLastRow paints them after scrolling, rather
// than the whole viewport being painted again.
void ReadingsGrid::doItemsLayout() {
  if (m_appendedFrom < 0) {
    QTableView::doItemsLayout();
    return;
  }
  updateGeometries();
}

// Rows scrolled vertically are moved on screen rather than painted again. Only the part of
// the viewport that nothing covers is moved (Qt paints all of it again when a sibling such
// as the bars placed over it overlaps what it is asked to move); the rest is repainted.
void ReadingsGrid::scrollContentsBy(int dx, int dy) {
  if (dx != 0 || dy == 0 || verticalScrollMode() != ScrollPerPixel) {
    QTableView::scrollContentsBy(dx, dy);
    return;
  }
  // What QTableView does on any scroll besides moving the rows (a pending scroll to a row
  // just clicked is cancelled); with no distance it moves nothing.
  QTableView::scrollContentsBy(0, 0);
  verticalHeader()->setOffset(verticalScrollBar()->value());
  const QRect moved = uncoveredViewport();
  viewport()->scroll(0, dy, moved);
  viewport()->update(QRegion(viewport()->rect()).subtracted(moved));
}

QRect ReadingsGrid::uncoveredViewport() const {
  QRect inGrid(QPoint(0, 0), size() - m_hidden);
  if (m_vertical && m_vertical->isVisibleTo(this)) inGrid.setRight(m_vertical->x() - 1);
  if (m_horizontal && m_horizontal->isVisibleTo(this)) inGrid.setBottom(m_horizontal->y() - 1);
  const QRect inViewport(viewport()->mapFrom(this, inGrid.topLeft()), inGrid.size());
  return inViewport.intersected(viewport()->rect());
}

void ReadingsGrid::modelWasReset() {
  // The window moved by the view keeps its place; any other reset is a new table.
  if (!m_placingWindow) showLastRow();
}

}  // namespace ostrel
