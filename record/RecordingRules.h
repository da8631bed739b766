#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ReadingsTable.h"
#include "RecordingCounters.h"

namespace ostrel {

// The reading the frame decoder offers for recording (its GBK texts).
struct OfferedReading {
  std::string_view Value{}, Unit{}, V_Range{}, I_Range{};
  std::optional<std::int32_t> TestTime{};  // the timer in seconds when lit
};

// State of the recording controls of the main window.
struct RecordingControls {
  bool RepeatSet = true;            // "Repeat": record a value equal to the last one too
  bool RecordSI = false;            // sampling-interval mode
  std::string RecordSITime = "10";  // interval text, whole seconds
};

// Decides which offered readings become records of cds1 and keeps the recording counters.
// Holds references to the table, counters and controls, which must outlive it.
// Main thread only; nothing here throws into the caller.
class RecordingRules {
 public:
  using Clock = std::function<std::int32_t()>;  // local time of day in ms

  static constexpr std::string_view clearQuestion =
      "Do you want to remove the current data and create a new data?";

  // An empty clock means the system's local time of day with milliseconds.
  RecordingRules(ReadingsTable& cds1, RecordingCounters& counters, RecordingControls& controls,
                 Clock clock = {});

  // Offers one reading (mode 1; any other mode is ignored). Admission tests in order:
  // record limit, pending interval (only with RecordSI), repeated value (only without
  // RepeatSet). Then the countdown is reloaded from the interval text and the record
  // appended. With RecordSI checked an interval text beyond the 32-bit range holds
  // recording (recordingHeld); unchecked it counts as 0, and a negative one always does.
  // Returns true when a record was appended.
  bool INDataToTable(int mode, const OfferedReading& reading);

  // Whether recording is held because RecordSI is checked and the interval text is no
  // usable interval (not a whole number of seconds within range).
  [[nodiscard]] bool recordingHeld() const;

  // Every 1000 ms: counts the interval down while RecordSI is checked.
  void SampInterTimeTimer();

  // Key filter of the interval edit: digits and backspace pass; any other key is refused,
  // set to '\0' and false returned.
  static bool RecordSITimeKeyPress(char& key);

  // The interval edit's text changed to `text` (already stored in the controls by the
  // caller or not: the given text is used). Restarts the countdown with it; on a text that
  // is no valid interval the countdown is kept and the message to show is returned.
  std::optional<std::string> RecordSITimeChange(const std::string& text);

  // "Delete Data": asks clearQuestion; on yes empties the table and sets RecordNo to 1.
  // LastRecordedValue, the countdown and the limit stay. Returns true when cleared.
  bool ClearRClick(const std::function<bool(std::string_view question)>& askYesNo);

 private:
  ReadingsTable& m_cds1;
  RecordingCounters& m_counters;
  RecordingControls& m_controls;
  Clock m_clock;
};

// The system's local time of day in milliseconds since midnight.
std::int32_t localTimeOfDayMs();

}  // namespace ostrel
