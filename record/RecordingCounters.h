#pragma once

#include <cstdint>
#include <string>

namespace ostrel {

// Counters of the recording rules; start values as at program start.
struct RecordingCounters {
  std::int32_t RecordNo = 1;           // number the next appended record receives
  std::int32_t RecordLimit = 10000;    // largest record number that may still be appended
  std::string LastRecordedValue;       // CurrentValue when the last record was appended
  std::int32_t IntervalCountdown = 0;  // seconds until the next sample may be recorded
};

}  // namespace ostrel
