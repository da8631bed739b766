#include "TestMarks.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace ostrel {

namespace {

// log R (or R, when either is 0 Ω) at t, on the line through the two readings.
double between(const MarkReading& a, const MarkReading& b, double t) {
  if (a.r.ohm <= 0 || b.r.ohm <= 0) {
    return a.r.ohm + (b.r.ohm - a.r.ohm) * (t - a.elapsedS) / (b.elapsedS - a.elapsedS);
  }
  const bool logTime = a.elapsedS > 0;
  const double x = logTime ? std::log(t) : t;
  const double xa = logTime ? std::log(a.elapsedS) : a.elapsedS;
  const double xb = logTime ? std::log(b.elapsedS) : b.elapsedS;
  const double la = std::log(a.r.ohm);
  const double lb = std::log(b.r.ohm);
  return std::exp(la + (lb - la) * (x - xa) / (xb - xa));
}

MarkFigure fromTwo(const MarkReading& a, const MarkReading& b, double markS) {
  MarkFigure figure;
  figure.found = true;
  figure.interpolated = true;
  figure.fromS = a.elapsedS;
  figure.toS = b.elapsedS;
  if (a.r.overRange || b.r.overRange) {
    figure.r.overRange = true;
  } else {
    figure.r.ohm = between(a, b, markS);
  }
  return figure;
}

}  // namespace

std::optional<double> MarkFigure::ohm() const {
  if (!found || r.overRange) return std::nullopt;
  return r.ohm;
}

MarkFigure figureAtMark(const std::vector<MarkReading>& readings, double markS, double spacingS) {
  // The nearest reading within half a second is the figure itself.
  const MarkReading* nearest = nullptr;
  for (const MarkReading& reading : readings) {
    const double off = std::fabs(reading.elapsedS - markS);
    if (off <= atMarkS && (nearest == nullptr || off < std::fabs(nearest->elapsedS - markS))) {
      nearest = &reading;
    }
  }
  if (nearest != nullptr) return {true, nearest->r, false, nearest->elapsedS, nearest->elapsedS};

  const auto after = std::find_if(readings.begin(), readings.end(),
                                  [markS](const MarkReading& r) { return r.elapsedS > markS; });
  if (after == readings.begin()) return {};
  const MarkReading& before = *std::prev(after);
  if (markS - before.elapsedS > aroundMarkS) return {};
  if (after != readings.end()) {
    if (after->elapsedS - markS > aroundMarkS) return {};
    return fromTwo(before, *after, markS);
  }
  // The test ended short of the mark: it reaches it when its last reading lies within half a
  // spacing, and the last two readings are extended to it.
  if (spacingS <= 0 || before.elapsedS < markS - spacingS / 2 || readings.size() < 2) return {};
  const MarkReading& earlier = *std::prev(after, 2);
  if (earlier.elapsedS >= before.elapsedS || markS - earlier.elapsedS > aroundMarkS) return {};
  return fromTwo(earlier, before, markS);
}

double medianSpacing(const std::vector<double>& elapsedS) {
  std::vector<double> gaps;
  for (std::size_t i = 1; i < elapsedS.size(); ++i) {
    if (elapsedS[i] > elapsedS[i - 1]) gaps.push_back(elapsedS[i] - elapsedS[i - 1]);
  }
  RunningMedian median;
  for (const double gap : gaps) median.add(gap);
  return median.median();
}

void RunningMedian::add(double value) {
  if (m_lower.empty() || value <= m_lower.top()) {
    m_lower.push(value);
  } else {
    m_upper.push(value);
  }
  // The lower half holds as many as the upper, or one more.
  if (m_lower.size() > m_upper.size() + 1) {
    m_upper.push(m_lower.top());
    m_lower.pop();
  } else if (m_upper.size() > m_lower.size()) {
    m_lower.push(m_upper.top());
    m_upper.pop();
  }
}

void RunningMedian::clear() {
  m_lower = {};
  m_upper = {};
}

double RunningMedian::median() const {
  if (m_lower.empty()) return 0;
  if (m_lower.size() > m_upper.size()) return m_lower.top();
  return (m_lower.top() + m_upper.top()) / 2;
}

std::optional<std::int32_t> dayFromIsoDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const auto part = [&](std::size_t at, std::size_t length) -> std::optional<int> {
    int value = 0;
    const char* first = text.data() + at;
    const auto [end, error] = std::from_chars(first, first + length, value);
    if (error != std::errc{} || end != first + length || *first == '+' || *first == '-') {
      return std::nullopt;
    }
    return value;
  };
  const auto y = part(0, 4);
  const auto m = part(5, 2);
  const auto d = part(8, 2);
  if (!y || !m || !d) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(*y),
                                         std::chrono::month(static_cast<unsigned>(*m)),
                                         std::chrono::day(static_cast<unsigned>(*d))};
  if (!date.ok()) return std::nullopt;
  return static_cast<std::int32_t>(std::chrono::sys_days(date).time_since_epoch().count());
}

std::string isoDate(std::int32_t day) {
  const std::chrono::year_month_day date{std::chrono::sys_days(std::chrono::days(day))};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

}  // namespace ostrel
