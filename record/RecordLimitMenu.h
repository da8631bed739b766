#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "RecordingCounters.h"

namespace ostrel {

// The record-limit menu (" RecordSet" under "Record") as logic: six entries, exactly one
// checked. Holds a reference to the counters, which must outlive it. Main thread only.
class RecordLimitMenu {
 public:
  struct Entry {
    std::string_view name;     // component name, e.g. "set10k"
    std::string_view caption;  // menu text
    std::int32_t limit;        // RecordLimit it sets
  };
  static constexpr std::array<Entry, 6> entries{{
      {"set1k", "1000", 1000},
      {"set5k", "5000", 5000},
      {"set10k", "10000", 10000},
      {"set50k", "50000", 50000},
      {"set100k", "100000", 100000},
      {"setlimit", "Limitless", 10000000},  // "Limitless" is ten million, not unbounded
  }};
  static constexpr std::size_t startIndex = 2;  // set10k, matching RecordLimit's start value

  explicit RecordLimitMenu(RecordingCounters& counters) : m_counters(counters) {}

  // The user chose entry `index` (0..5): sets RecordLimit and checks only that entry.
  // Records already in the table are never removed. An index out of range does nothing.
  void choose(std::size_t index);
  // Same, by component name; false when no entry has that name.
  bool chooseByName(std::string_view name);

  [[nodiscard]] std::size_t checkedIndex() const { return m_checked; }
  [[nodiscard]] bool isChecked(std::size_t index) const { return index == m_checked; }

 private:
  RecordingCounters& m_counters;
  std::size_t m_checked = startIndex;
};

}  // namespace ostrel
