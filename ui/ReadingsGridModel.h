#pragma once

#include <QAbstractTableModel>

#include "record/ReadingsTable.h"

namespace ostrel {

// cds1 as an item model for the grid DBGrid1: six read-only columns in field order, texts
// converted from GBK for display, Time in the long time format. Appended records are
// inserted as rows (never a reset per record), so the grid stays smooth with a million
// records. Observes the table from construction to destruction; the table must outlive
// the model. Main thread only.
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

 private:
  ReadingsTable& m_table;
  int m_rows = 0;  // rows announced to the views; follows the table's notifications
};

}  // namespace ostrel
