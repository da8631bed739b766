#pragma once

#include <QTableView>
#include <QToolButton>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace ostrel {

class ReadingsGridModel;
struct GridScrollScale;

// DBGrid1: read-only, whole-row selection, a title row and a row-indicator column that
// marks the current row. Cells Arial 11 px centred, titles Arial 12 px centred, the column
// widths of the layout; the user may drag column borders. While the view is at the table's
// bottom and the newest row is current it follows the recording: when rows are appended,
// the last one becomes the current row. Scrolled up, or with another row made current by a
// key or click, the view and the current row stay, and a note at the bottom counts the
// rows that arrived meanwhile (a click on it goes to the newest). Main thread only.
//
// Its model is the table's ReadingsGridModel, the only model it takes: the view holds a
// window of at most windowRows of the table's records and slides it as the user scrolls,
// moves the current row or records arrive; its vertical scroll bar, keys and clicks work in
// the whole table's records. So a recorded reading costs the same at any table size, and
// the row header keeps a bounded number of rows.
class ReadingsGrid : public QTableView {
 public:
  // Records the view holds at most: far more than a screenful, few enough that inserting
  // a row (the row header walks all its rows) stays cheap.
  static constexpr int windowRows = 4096;

  explicit ReadingsGrid(QWidget* parent);

  // Binds the grid to the table's model (nullptr unbinds it) and limits the model's window
  // to windowRows. It hides QTableView::setModel: the grid shows no other model.
  void setModel(ReadingsGridModel* model);  // NOLINT(clang-diagnostic-overloaded-virtual)

  // Makes the last row current and scrolls it into view (no-op on an empty model).
  void showLastRow();
  // Whether appended rows are followed: the view is at the table's bottom.
  [[nodiscard]] bool followsNewRows() const { return m_following; }

  // As QTableView's, and then far enough that the row clears the horizontal bar and the
  // strip the window hides at the grid's bottom (a key to the last rows shows them whole).
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  // As QTableView's, except while the grid follows appended rows: then only the geometry
  // (showLastRow paints the new rows).
  void doItemsLayout() override;

  // The part of the grid that the window shows, in grid coordinates. The grid's scroll bars
  // are placed inside it and the rows and columns scroll far enough to come wholly into it,
  // so nothing the grid shows lies under the window's own scroll bars; the grid's geometry
  // stays. Only the right and bottom edges give way, never below one row and a scroll bar.
  void fitInto(const QRect& shown);

  // The table's record that is the current row, if any (it may lie outside the window).
  [[nodiscard]] std::optional<std::size_t> currentRecord() const { return m_currentRecord; }
  // The table's record shown as the view's row `row`.
  [[nodiscard]] std::size_t recordOfRow(int row) const;

 protected:
  void updateGeometries() override;
  void resizeEvent(QResizeEvent* event) override;
  QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void placeScrollBars();

  // The whole table's rows and the view's place in it, in pixels from the table's top.
  [[nodiscard]] std::size_t tableRows() const;
  [[nodiscard]] std::size_t windowStart() const;
  [[nodiscard]] std::int64_t topInTable() const;
  [[nodiscard]] GridScrollScale verticalScale() const;
  [[nodiscard]] bool windowHolds(std::size_t first, std::size_t last) const;
  [[nodiscard]] bool followingLastRow() const;

  void scrollToTop(std::int64_t top);
  void placeWindowAround(std::size_t record);
  void placeWindow(std::size_t first);
  void slideWindowIfNeeded();
  void syncVerticalBar();
  void modelWasReset();
  void rowsWereAppended(int first);
  void rowsArrivedUnseen(std::size_t count);
  void setFollowing(bool following);
  void followIfAtBottom();
  void placeNewRowsNote();
  [[nodiscard]] QRect uncoveredViewport() const;

  ReadingsGridModel* m_window = nullptr;  // the bound model, a window over the table
  std::optional<std::size_t> m_currentRecord;
  int m_currentColumn = 0;
  int m_pageHeight = 0;          // height of the rows in sight, the covered strips excluded
  bool m_syncing = false;        // the vertical bars are being set from the view's position
  bool m_placingWindow = false;  // the model resets because the view moves the window
  bool m_slidePending = false;
  int m_appendedFrom = -1;  // first appended row while the grid follows an append; else -1

  bool m_following = true;               // the view is at the bottom and follows appended rows
  bool m_showingLast = false;            // showLastRow makes the newest row current
  std::size_t m_seenRecords = 0;         // the table's records when the user last followed it
  QToolButton* m_newRowsNote = nullptr;  // "N new rows": shown while rows arrive unseen

  QSize m_hidden{0, 0};                // widths hidden at the right and bottom
  QScrollBar* m_vertical = nullptr;    // in sight; spans the whole table
  QScrollBar* m_horizontal = nullptr;  // in sight; mirrors the view's own horizontal bar
};

}  // namespace ostrel
