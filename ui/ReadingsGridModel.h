#pragma once

#include <QAbstractTableModel>
#include <cstddef>
#include <functional>

#include "record/GbkText.h"
#include "record/ReadingsTable.h"

namespace ostrel {

// cds1 as an item model for the grid DBGrid1: six read-only columns in field order, texts
// converted from GBK for display, Time in the long time format. Appended records are
// inserted as rows (never a reset per record), so the grid stays smooth with a million
// records. Observes the table from construction to destruction; the table must outlive
// the model. Main thread only.
//
// The rows are a window of at most windowRows() consecutive records from windowStart(), so
// that a view pays for a bounded number of rows however large the table grows. Without a
// limit (the default), and whenever the table has no more records than the limit, the
// window is the whole table and row r is record r. Appended records always come into the
// window while the grid follows the recording: while the window ends at the table's end
// and has room they are inserted as rows; otherwise the window moves to the table's end
// (a model reset), keeping half its rows free for the records still to come. While the grid
// does not follow (the user looks back), a window that cannot take them as rows stays where
// it is and the records are only counted and announced. A table reset always puts the
// window at the table's end.
class ReadingsGridModel : public QAbstractTableModel, public ReadingsTableObserver {
 public:
  explicit ReadingsGridModel(ReadingsTable& table, QObject* parent = nullptr);
  ~ReadingsGridModel() override;

  [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
  [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                    int role) const override;
  [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;

  void recordsAppended(std::size_t first, std::size_t count) override;
  void tableReset() override;

  // Limits the window to `rows` records (at least 2) and puts it at the table's end: a model
  // reset.
  void setWindowRows(int rows);
  [[nodiscard]] int windowRows() const { return m_windowRows; }
  // The record shown as row 0.
  [[nodiscard]] std::size_t windowStart() const { return m_start; }
  // Records in the table, in and beyond the window, as last notified (while the table's
  // notifications are suspended, records appended meanwhile are not shown).
  [[nodiscard]] std::size_t recordCount() const { return m_records; }
  // Moves the window to start at record `first`, or as close to it as keeps the window full
  // (a model reset when the window changes; nothing otherwise).
  void moveWindow(std::size_t first);
  // Whether appended records move the window to the table's end (the default); while not,
  // records the window cannot take as rows are counted and `beyondWindow` is called.
  void setFollowsTable(bool follows, std::function<void()> beyondWindow = {});

 private:
  [[nodiscard]] std::size_t tailStart() const;
  [[nodiscard]] int rowsFrom(std::size_t start) const;
  void showWindow(std::size_t start);

  ReadingsTable& m_table;
  mutable GbkConverter m_gbk;  // one converter for every cell the view asks for
  int m_windowRows;
  std::size_t m_records;    // the table's records as last notified
  std::size_t m_start = 0;  // record shown as row 0
  int m_rows = 0;           // rows announced to the views; follows the table's notifications
  bool m_followsTable = true;
  std::function<void()> m_beyondWindow;
};

}  // namespace ostrel
