#include "ReadingsTable.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <utility>

#include "GbkText.h"
#include "TextPool.h"

namespace ostrel {

namespace {

// One record in 48 bytes: Value inline (it changes with every reading), the three texts
// that repeat as ids into a TextPool, a bit per field for "has a value" (bit 6: test time).
struct PackedRecord {
  std::int32_t no;
  std::int32_t timeMs;
  std::int32_t testTime;
  std::array<TextPool::Id, 3> pooled;  // Unit, V_Range, I_Range
  std::uint8_t present;                // bit k set: field k has a value
  std::uint8_t changeState;
  std::uint8_t valueLength;
  std::array<char, ReadingsTable::maxTextBytes> value;
};

constexpr std::size_t chunkRecords = std::size_t{1} << 15;

constexpr std::uint8_t bit(ReadingsTable::Field field) {
  return static_cast<std::uint8_t>(1U << static_cast<unsigned>(field));
}

constexpr std::uint8_t testTimeBit = 1U << ReadingsTable::fieldCount;

constexpr int pooledIndex(ReadingsTable::Field field) {
  return static_cast<int>(field) - static_cast<int>(ReadingsTable::Unit);
}

// The stored form of a text: cut to 20 bytes without splitting a GBK character; an
// empty text is stored as no value.
std::optional<std::string_view> storedText(const std::optional<std::string_view>& text) {
  if (!text || text->empty()) return std::nullopt;
  return gbkPrefix(*text, ReadingsTable::maxTextBytes);
}

std::optional<std::string_view> view(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return std::string_view(*text);
}

}  // namespace

// Records live in fixed-size chunks, so appending never moves (copies) earlier records
// and views into them stay valid until the table is emptied or swapped.
struct ReadingsTable::Storage {
  std::vector<std::unique_ptr<PackedRecord[]>> chunks;
  std::size_t count = 0;
  TextPool pool;
  // Per pooled column, the id last stored: consecutive readings mostly repeat it, which
  // spares the hash lookup.
  std::array<std::optional<TextPool::Id>, 3> lastIds;

  TextPool::Id intern(int column, std::string_view text) {
    std::optional<TextPool::Id>& last = lastIds[static_cast<std::size_t>(column)];
    if (!last || pool.text(*last) != text) last = pool.intern(text);
    return *last;
  }

  // A table that outgrew its first chunk is being filled (a load, a long recording): the
  // pages of its next chunk are made present in one call, not one fault at a time as the
  // records reach them (a tenth of a million-record load's time went to those faults).
  static void prefault(PackedRecord* chunk) {
    static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    auto* const bytes = reinterpret_cast<char*>(chunk);
    const std::size_t skip = (page - reinterpret_cast<std::uintptr_t>(bytes) % page) % page;
    const std::size_t length = chunkRecords * sizeof(PackedRecord);
    if (length > skip + page) {
      // Only a hint: an older kernel without it leaves the pages to be faulted in.
      ::madvise(bytes + skip, (length - skip) / page * page, MADV_POPULATE_WRITE);
    }
  }

  PackedRecord& at(std::size_t row) { return chunks[row / chunkRecords][row % chunkRecords]; }
  const PackedRecord& at(std::size_t row) const {
    return chunks[row / chunkRecords][row % chunkRecords];
  }
  PackedRecord& grow() {
    if (count == chunks.size() * chunkRecords) {
      chunks.push_back(std::make_unique_for_overwrite<PackedRecord[]>(chunkRecords));
      if (chunks.size() > 1) prefault(chunks.back().get());
    }
    return at(count++);
  }
};

ReadingsTable::ReadingsTable() : m_storage(new Storage) {}

ReadingsTable::~ReadingsTable() { delete m_storage; }

std::size_t ReadingsTable::recordCount() const { return m_storage->count; }

std::optional<std::int32_t> ReadingsTable::no(std::size_t row) const {
  const PackedRecord& record = m_storage->at(row);
  if ((record.present & bit(No)) == 0) return std::nullopt;
  return record.no;
}

std::optional<std::int32_t> ReadingsTable::timeMs(std::size_t row) const {
  const PackedRecord& record = m_storage->at(row);
  if ((record.present & bit(Time)) == 0) return std::nullopt;
  return record.timeMs;
}

std::optional<std::int32_t> ReadingsTable::testTimeS(std::size_t row) const {
  const PackedRecord& record = m_storage->at(row);
  if ((record.present & testTimeBit) == 0) return std::nullopt;
  return record.testTime;
}

std::optional<std::string_view> ReadingsTable::text(std::size_t row, Field field) const {
  const PackedRecord& record = m_storage->at(row);
  if (field < Value || (record.present & bit(field)) == 0) return std::nullopt;
  if (field == Value) return std::string_view(record.value.data(), record.valueLength);
  return m_storage->pool.text(record.pooled[static_cast<std::size_t>(pooledIndex(field))]);
}

std::uint8_t ReadingsTable::changeState(std::size_t row) const {
  return m_storage->at(row).changeState;
}

RecordFields ReadingsTable::record(std::size_t row) const {
  RecordFields fields;
  fields.No = no(row);
  fields.TimeMs = timeMs(row);
  const auto copy = [&](Field field) -> std::optional<std::string> {
    const auto view = text(row, field);
    if (!view) return std::nullopt;
    return std::string(*view);
  };
  fields.Value = copy(Value);
  fields.Unit = copy(Unit);
  fields.V_Range = copy(V_Range);
  fields.I_Range = copy(I_Range);
  fields.TestTime = testTimeS(row);
  return fields;
}

void ReadingsTable::append(const RecordFields& fields, std::uint8_t changeState) {
  appendView({fields.No, fields.TimeMs, view(fields.Value), view(fields.Unit), view(fields.V_Range),
              view(fields.I_Range), fields.TestTime},
             changeState);
}

void ReadingsTable::appendView(const RecordView& fields, std::uint8_t changeState) {
  PackedRecord& record = m_storage->grow();
  record.present = 0;
  record.changeState = changeState;
  record.no = fields.No.value_or(0);
  record.timeMs = fields.TimeMs.value_or(0);
  if (fields.No) record.present |= bit(No);
  if (fields.TimeMs) record.present |= bit(Time);
  record.testTime = fields.TestTime.value_or(0);
  if (fields.TestTime) record.present |= testTimeBit;
  record.valueLength = 0;
  if (const auto value = storedText(fields.Value)) {
    std::memcpy(record.value.data(), value->data(), value->size());
    record.valueLength = static_cast<std::uint8_t>(value->size());
    record.present |= bit(Value);
  }
  const std::array<std::pair<Field, const std::optional<std::string_view>*>, 3> pooled{
      {{Unit, &fields.Unit}, {V_Range, &fields.V_Range}, {I_Range, &fields.I_Range}}};
  for (const auto& [field, source] : pooled) {
    TextPool::Id id = 0;
    if (const auto text = storedText(*source)) {
      id = m_storage->intern(pooledIndex(field), *text);
      record.present |= bit(field);
    }
    record.pooled[static_cast<std::size_t>(pooledIndex(field))] = id;
  }
  notifyAppended(m_storage->count - 1);
}

void ReadingsTable::clear() {
  m_storage->chunks.clear();
  m_storage->count = 0;
  m_storage->pool.clear();
  m_storage->lastIds = {};
  notifyReset();
}

void ReadingsTable::truncate(std::size_t count) {
  if (count >= m_storage->count) return;
  m_storage->count = count;
  m_storage->chunks.resize((count + chunkRecords - 1) / chunkRecords);
  m_storage->lastIds = {};
  notifyReset();
}

void ReadingsTable::replaceAll(const std::vector<std::pair<RecordFields, std::uint8_t>>& records) {
  ReadingsTable replacement;
  for (const auto& [fields, state] : records) replacement.append(fields, state);
  swapRecords(replacement);
}

void ReadingsTable::swapRecords(ReadingsTable& other) {
  std::swap(m_storage, other.m_storage);
  notifyReset();
  other.notifyReset();
}

std::size_t ReadingsTable::memoryBytes() const {
  return sizeof(Storage) + m_storage->chunks.capacity() * sizeof(void*) +
         m_storage->chunks.size() * chunkRecords * sizeof(PackedRecord) +
         m_storage->pool.memoryBytes();
}

void ReadingsTable::addObserver(ReadingsTableObserver* observer) {
  m_observers.push_back(observer);
}

void ReadingsTable::removeObserver(ReadingsTableObserver* observer) {
  std::erase(m_observers, observer);
}

void ReadingsTable::DisableControls() { ++m_disableCount; }

void ReadingsTable::EnableControls() {
  if (m_disableCount == 0) return;
  if (--m_disableCount == 0 && m_changedWhileDisabled) {
    m_changedWhileDisabled = false;
    notifyReset();
  }
}

bool ReadingsTable::controlsDisabled() const { return m_disableCount > 0; }

void ReadingsTable::notifyAppended(std::size_t row) {
  if (controlsDisabled()) {
    m_changedWhileDisabled = true;
    return;
  }
  // By index: an observer may remove itself while being told.
  for (std::size_t i = 0; i < m_observers.size(); ++i) m_observers[i]->recordsAppended(row, 1);
}

void ReadingsTable::notifyReset() {
  if (controlsDisabled()) {
    m_changedWhileDisabled = true;
    return;
  }
  for (std::size_t i = 0; i < m_observers.size(); ++i) m_observers[i]->tableReset();
}

}  // namespace ostrel
