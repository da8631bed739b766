#include "ReadingsGridModel.h"

#include <array>
#include <limits>

#include "ui/report/ReadingsTableDataSet.h"

namespace ostrel {

namespace {

const std::array<QString, ReadingsTable::fieldCount> columnTitles = {
    QStringLiteral("Measurement No."), QStringLiteral("Time"),
    QStringLiteral("Value"),           QStringLiteral("Unit"),
    QStringLiteral("Function"),        QStringLiteral("Remark")};

// Qt counts rows in int; a table beyond that shows its first INT_MAX records.
int rowsOf(std::size_t count) {
  constexpr auto most = static_cast<std::size_t>(std::numeric_limits<int>::max());
  return static_cast<int>(count < most ? count : most);
}

}  // namespace

ReadingsGridModel::ReadingsGridModel(ReadingsTable& table, QObject* parent)
    : QAbstractTableModel(parent), m_table(table), m_rows(rowsOf(table.recordCount())) {
  m_table.addObserver(this);
}

ReadingsGridModel::~ReadingsGridModel() { m_table.removeObserver(this); }

int ReadingsGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_rows;
}

int ReadingsGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ReadingsTable::fieldCount;
}

QVariant ReadingsGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= m_rows) return {};
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
  if (role != Qt::DisplayRole) return {};
  return readingsCellText(m_table, static_cast<std::size_t>(index.row()), index.column());
}

QVariant ReadingsGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Vertical) {
    return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
  }
  if (section < 0 || section >= ReadingsTable::fieldCount) return {};
  if (role == Qt::DisplayRole) return columnTitles[static_cast<std::size_t>(section)];
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
  return {};
}

Qt::ItemFlags ReadingsGridModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void ReadingsGridModel::recordsAppended(std::size_t first, std::size_t count) {
  const int newRows = rowsOf(m_table.recordCount());
  if (static_cast<std::size_t>(m_rows) != first || newRows <= m_rows) {
    if (count > 0) tableReset();
    return;
  }
  beginInsertRows({}, m_rows, newRows - 1);
  m_rows = newRows;
  endInsertRows();
}

void ReadingsGridModel::tableReset() {
  beginResetModel();
  m_rows = rowsOf(m_table.recordCount());
  endResetModel();
}

}  // namespace ostrel
