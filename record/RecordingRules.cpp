#include "RecordingRules.h"

#include <ctime>
#include <utility>

#include "IntervalText.h"

namespace ostrel {

std::int32_t localTimeOfDayMs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  return ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 +
         static_cast<std::int32_t>(now.tv_nsec / 1'000'000);
}

RecordingRules::RecordingRules(ReadingsTable& cds1, RecordingCounters& counters,
                               RecordingControls& controls, Clock clock)
    : m_cds1(cds1),
      m_counters(counters),
      m_controls(controls),
      m_clock(clock ? std::move(clock) : Clock(&localTimeOfDayMs)) {}

bool RecordingRules::INDataToTable(int mode, const OfferedReading& reading) {
  if (mode != 1) return false;
  if (m_counters.RecordLimit < m_counters.RecordNo) return false;
  if (m_controls.RecordSI && m_counters.IntervalCountdown != 0) return false;
  if (!m_controls.RepeatSet && m_counters.LastRecordedValue == reading.Value) return false;

  // Unticked, the interval text plays no part; ticked, a text that is no interval holds
  // recording until it is corrected (the window says so while it lasts).
  const IntervalReading interval = readInterval(m_controls.RecordSITime);
  if (recordingHeld()) return false;
  m_counters.IntervalCountdown = interval.ok ? interval.seconds : 0;

  m_cds1.appendView({m_counters.RecordNo, m_clock(), reading.Value, reading.Unit, reading.V_Range,
                     reading.I_Range, reading.TestTime});

  ++m_counters.RecordNo;
  m_counters.LastRecordedValue.assign(reading.Value);
  return true;
}

bool RecordingRules::recordingHeld() const {
  if (!m_controls.RecordSI) return false;
  const IntervalReading interval = readInterval(m_controls.RecordSITime);
  return !interval.ok && !interval.negative;
}

void RecordingRules::SampInterTimeTimer() {
  if (m_controls.RecordSI && m_counters.IntervalCountdown > 0) --m_counters.IntervalCountdown;
}

bool RecordingRules::RecordSITimeKeyPress(char& key) {
  if ((key >= '0' && key <= '9') || key == '\b') return true;
  key = '\0';
  return false;
}

std::optional<std::string> RecordingRules::RecordSITimeChange(const std::string& text) {
  IntervalReading interval = readInterval(text);
  if (!interval.ok) return std::move(interval.error);
  m_counters.IntervalCountdown = interval.seconds;
  return std::nullopt;
}

bool RecordingRules::ClearRClick(const std::function<bool(std::string_view question)>& askYesNo) {
  if (!askYesNo(clearQuestion)) return false;
  if (!m_cds1.empty()) m_cds1.clear();
  m_counters.RecordNo = 1;
  return true;
}

}  // namespace ostrel
