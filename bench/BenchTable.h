#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "record/ReadingsTable.h"
#include "record/RecordingCounters.h"
#include "record/RecordingRules.h"

namespace ostrel::bench {

// Fills the table with typical readings through the recording rules, half a second apart: a
// changing value, the texts that repeat, GBK ohm signs (kind 0), or ASCII-only texts (kind 1,
// so that xmllint can read the very same bytes).
inline void fillTable(ReadingsTable& table, int records, int kind) {
  RecordingCounters counters;
  counters.RecordLimit = records;
  RecordingControls controls;
  std::int32_t now = 8 * 3'600'000;
  RecordingRules rules(table, counters, controls,
                       [&now] { return now = (now + 500) % 86'400'000; });
  const std::string_view unit = kind == 0 ? "M\xA6\xB8" : "V";
  const std::string_view range = kind == 0 ? "IR:500V 20G\xA6\xB8" : "DCV 600V";
  char value[16];
  for (int i = 0; i < records; ++i) {
    std::snprintf(value, sizeof value, "%d.%03d", i % 1000, i % 997);
    rules.INDataToTable(1, {value, unit, range, "Continuous"});
  }
}

}  // namespace ostrel::bench
