#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <queue>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// The figures of an insulation test at its marks (15 s, 30 s, 1 min, 10 min), taken between
// the readings around each mark, and the spacing of a test's readings.

// A resistance as the meter showed it.
struct Resistance {
  bool overRange = false;  // "OL": above the range, value unknown
  double ohm = 0;          // when not over range
};

// A figure at a mark: none, over range, or a resistance. A reading within half a second of
// the mark is the figure as it is; otherwise the figure lies between the readings at fromS and
// toS (interpolated), or beyond the last two readings when the test ended just short of the
// mark (extrapolated, toS < the mark).
struct MarkFigure {
  bool found = false;
  Resistance r;
  bool interpolated = false;  // from two readings, not one at the mark
  double fromS = 0;
  double toS = 0;
  // The number in ohms only when found and not over range.
  [[nodiscard]] std::optional<double> ohm() const;
};

// One resistance reading of a test at its elapsed time.
struct MarkReading {
  double elapsedS = 0;
  Resistance r;
};

// How far from a mark a reading may lie and still be used.
inline constexpr double atMarkS = 0.5;       // taken as it is
inline constexpr double aroundMarkS = 60.0;  // either side, for interpolating

// The figure at markS from readings in rising elapsed time. log R is interpolated linearly in
// log t between the last reading before the mark and the first after it, when both lie within
// aroundMarkS of it (linearly in t when the one before is at 0 s, where log t has no value;
// R itself linearly when either is 0 Ω). A test whose last reading lies at or after the mark
// minus half of spacingS, with none after it, reaches the mark: its last two readings are
// extended to it the same way. A reading over range on either side makes the figure over
// range: its value is not known. Nothing found otherwise.
MarkFigure figureAtMark(const std::vector<MarkReading>& readings, double markS, double spacingS);

// The median of the positive gaps between consecutive elapsed times (in their order); 0 when
// there is none.
double medianSpacing(const std::vector<double>& elapsedS);

// The median of numbers added one at a time, in logarithmic time per number (a test of a
// million readings is split as it is read).
class RunningMedian {
 public:
  void add(double value);
  void clear();
  [[nodiscard]] bool empty() const { return m_lower.empty(); }
  // The median (the mean of the middle two for an even count); 0 when empty.
  [[nodiscard]] double median() const;

 private:
  std::priority_queue<double> m_lower;  // the lower half, largest on top
  std::priority_queue<double, std::vector<double>, std::greater<>> m_upper;  // the upper half
};

// Calendar days counted from 1970-01-01 (day 0), as the test's dates are kept.
// "YYYY-MM-DD"; nullopt for any other text or a date that does not exist.
std::optional<std::int32_t> dayFromIsoDate(std::string_view text);
std::string isoDate(std::int32_t day);

}  // namespace ostrel
