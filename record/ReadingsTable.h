#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// One record as a value: what recording and the table files hand to the table.
// Every field may be empty (null). Texts are GBK byte strings; the table cuts them
// to 20 bytes when storing (never splitting a two-byte character) and stores an empty
// text as an empty (null) field.
struct RecordFields {
  std::optional<std::int32_t> No;
  std::optional<std::int32_t> TimeMs;  // milliseconds since midnight, 0..86399999
  std::optional<std::string> Value;
  std::optional<std::string> Unit;
  std::optional<std::string> V_Range;
  std::optional<std::string> I_Range;
  // The meter's timer (min:sec) in seconds when it was lit with the reading; kept by the
  // table, the journal and the workbook, never by the six-column text and packet files.
  std::optional<std::int32_t> TestTime{};
};

// The same record with its texts borrowed: for appending without copying texts first.
struct RecordView {
  std::optional<std::int32_t> No;
  std::optional<std::int32_t> TimeMs;
  std::optional<std::string_view> Value;
  std::optional<std::string_view> Unit;
  std::optional<std::string_view> V_Range;
  std::optional<std::string_view> I_Range;
  std::optional<std::int32_t> TestTime{};
};

// Told about every change of the table, on the thread that changed it (main thread).
class ReadingsTableObserver {
 public:
  virtual ~ReadingsTableObserver() = default;
  // Records [first, first + count) were appended.
  virtual void recordsAppended(std::size_t first, std::size_t count) = 0;
  // Anything else changed (cleared, replaced by a packet, or notifications resumed
  // after a suspension during which the table changed).
  virtual void tableReset() = 0;
};

// The readings table cds1: six fields (No, Time, Value, Unit, V_Range, I_Range), records
// in append order, no key. Each record carries its change state (4 for appended records).
// Main thread only.
class ReadingsTable {
 public:
  enum Field : int { No = 0, Time, Value, Unit, V_Range, I_Range };
  static constexpr int fieldCount = 6;
  static constexpr std::size_t maxTextBytes = 20;
  static constexpr std::uint8_t appendedChangeState = 4;

  ReadingsTable();
  ~ReadingsTable();
  ReadingsTable(const ReadingsTable&) = delete;
  ReadingsTable& operator=(const ReadingsTable&) = delete;

  [[nodiscard]] std::size_t recordCount() const;
  [[nodiscard]] bool empty() const { return recordCount() == 0; }

  // Record accessors: row must be below recordCount(). A view returned by text() stays
  // valid until the table is emptied, swapped or replaced.
  [[nodiscard]] std::optional<std::int32_t> no(std::size_t row) const;
  [[nodiscard]] std::optional<std::int32_t> timeMs(std::size_t row) const;
  // Value, Unit, V_Range or I_Range of a record; nullopt when the field is empty (null).
  [[nodiscard]] std::optional<std::string_view> text(std::size_t row, Field field) const;
  // The record's test time in seconds (RecordFields::TestTime); nullopt when the timer was dark.
  [[nodiscard]] std::optional<std::int32_t> testTimeS(std::size_t row) const;
  [[nodiscard]] std::uint8_t changeState(std::size_t row) const;
  [[nodiscard]] RecordFields record(std::size_t row) const;

  // Appends one record (texts cut to 20 bytes). Amortised constant time.
  void append(const RecordFields& fields, std::uint8_t changeState = appendedChangeState);
  void appendView(const RecordView& fields, std::uint8_t changeState = appendedChangeState);
  // Empties records and change log.
  void clear();
  // Drops the records from `count` on (nothing when there are no more): a load that failed
  // after appending takes its records back. Observers are told tableReset().
  void truncate(std::size_t count);
  // Replaces every record at once (a loaded data packet), keeping each record's state.
  void replaceAll(const std::vector<std::pair<RecordFields, std::uint8_t>>& records);
  // Exchanges the records (and change log) of both tables without copying them; both
  // tables' observers are told tableReset(). A packet is loaded into a fresh table and
  // swapped in, so a failed load leaves this table as it was.
  void swapRecords(ReadingsTable& other);

  // Bytes held for the records and their texts (capacity included); for measurements.
  [[nodiscard]] std::size_t memoryBytes() const;

  // Grid binding. Notifications can be suspended (DisableControls / EnableControls):
  // while suspended, nothing is told; resuming tells tableReset() if anything changed.
  void addObserver(ReadingsTableObserver* observer);
  void removeObserver(ReadingsTableObserver* observer);
  void DisableControls();
  void EnableControls();
  [[nodiscard]] bool controlsDisabled() const;

 private:
  struct Storage;
  void notifyAppended(std::size_t row);
  void notifyReset();

  Storage* m_storage;  // owned; compact per-record layout, see ReadingsTable.cpp
  std::vector<ReadingsTableObserver*> m_observers;
  int m_disableCount = 0;
  bool m_changedWhileDisabled = false;
};

}  // namespace ostrel
