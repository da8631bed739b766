#include "ReadingsGridModel.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include "ui/report/ReadingsTableDataSet.h"

namespace ostrel {

namespace {

const std::array<QString, ReadingsTable::fieldCount> columnTitles = {
    QStringLiteral("Measurement No."), QStringLiteral("Time"),
    QStringLiteral("Value"),           QStringLiteral("Unit"),
    QStringLiteral("Function"),        QStringLiteral("Remark")};

// Qt counts rows in int: the window is never longer.
constexpr int mostRows = std::numeric_limits<int>::max();

}  // namespace

ReadingsGridModel::ReadingsGridModel(ReadingsTable& table, QObject* parent)
    : QAbstractTableModel(parent),
      m_table(table),
      m_windowRows(mostRows),
      m_records(table.recordCount()) {
  m_start = tailStart();
  m_rows = rowsFrom(m_start);
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
  return readingsCellText(m_table, m_start + static_cast<std::size_t>(index.row()), index.column(),
                          m_gbk);
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
  const std::size_t windowEnd = m_start + static_cast<std::size_t>(m_rows);
  m_records = m_table.recordCount();
  const int newRows = rowsFrom(m_start);
  if (windowEnd != first || m_records - m_start > static_cast<std::size_t>(newRows)) {
    // Not a continuation of the rows shown, or more than the window holds.
    if (count == 0) return;
    if (m_followsTable) {
      tableReset();
    } else if (m_beyondWindow) {
      m_beyondWindow();
    }
    return;
  }
  if (newRows <= m_rows) return;
  beginInsertRows({}, m_rows, newRows - 1);
  m_rows = newRows;
  endInsertRows();
}

void ReadingsGridModel::setFollowsTable(bool follows, std::function<void()> beyondWindow) {
  m_followsTable = follows;
  m_beyondWindow = std::move(beyondWindow);
}

void ReadingsGridModel::tableReset() {
  m_records = m_table.recordCount();
  showWindow(tailStart());
}

void ReadingsGridModel::setWindowRows(int rows) {
  m_windowRows = std::max(rows, 2);
  showWindow(tailStart());
}

void ReadingsGridModel::moveWindow(std::size_t first) {
  const auto window = static_cast<std::size_t>(m_windowRows);
  const std::size_t start = std::min(first, m_records > window ? m_records - window : 0);
  if (start == m_start && m_rows == rowsFrom(start)) return;
  showWindow(start);
}

std::size_t ReadingsGridModel::tailStart() const {
  const auto window = static_cast<std::size_t>(m_windowRows);
  return m_records > window ? m_records - window / 2 : 0;
}

int ReadingsGridModel::rowsFrom(std::size_t start) const {
  const std::size_t rows = m_records > start ? m_records - start : 0;
  return static_cast<int>(std::min(rows, static_cast<std::size_t>(m_windowRows)));
}

void ReadingsGridModel::showWindow(std::size_t start) {
  beginResetModel();
  m_start = start;
  m_rows = rowsFrom(start);
  endResetModel();
}

}  // namespace ostrel
