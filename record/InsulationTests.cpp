#include "InsulationTests.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "GbkText.h"
#include "ReadingNumber.h"
#include "TextTableFormat.h"

namespace ostrel {

namespace {

constexpr double msPerDay = 86'400'000.0;
constexpr std::string_view piRemark = "PI";

// A Value text read as a number (a PI ratio, a typed figure); the texts' locale is not known.
std::optional<double> decimalNumber(std::string_view text) {
  const auto number = valueNumber(text, std::nullopt);
  if (!number) return std::nullopt;
  return number->value;
}

// The elapsed times of a run of readings without a timer come from their times of day;
// a time past midnight is taken as the next day.
double secondsBetween(std::int32_t fromMs, std::int32_t toMs) {
  double delta = toMs - fromMs;
  if (delta < 0) delta += msPerDay;
  return delta / 1000.0;
}

std::string fixed(double value, int decimals) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// Whole numbers as integers (75000000, not 7.5e+07), others in their shortest exact form.
std::string numberText(double value) {
  if (std::fabs(value) < 1e15 && value == std::trunc(value)) return fixed(value, 0);
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
  return std::string(text.data(), result.ptr);
}

std::string clockText(std::int32_t ms) {
  const int s = ms / 1000;
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", s / 3600 % 100, s / 60 % 60, s % 60);
  return text;
}

std::string jsonString(std::string_view utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

std::string jsonNumber(std::optional<double> value) {
  return value && std::isfinite(*value) ? numberText(*value) : std::string("null");
}

// One reading of a test as the analysis sees it.
struct TestReading {
  double elapsedS = 0;
  bool meterPi = false;
  std::optional<Resistance> r;  // none: neither a resistance nor the meter's PI
  double piValue = 0;
};

std::optional<double> ratio(const MarkFigure& top, const MarkFigure& bottom) {
  const auto a = top.ohm();
  const auto b = bottom.ohm();
  if (!a || !b || *b <= 0) return std::nullopt;
  return *a / *b;
}

// The decimals that make `value` read below `limit` when it is below it ("PI 1.995" is
// "1.995", never "2.00"); `decimals` when they already do, or when it is not below.
int decimalsBelow(double value, double limit, int decimals) {
  if (!(value < limit)) return decimals;
  for (int d = decimals; d <= 12; ++d) {
    const double shown = std::round(value * std::pow(10.0, d)) / std::pow(10.0, d);
    if (shown < limit) return d;
  }
  return 12;
}

std::string ratioBelowText(double value, double limit) {
  return fixed(value, decimalsBelow(value, limit, 2));
}

// A resistance in the largest prefix it reaches, with four figures; with `limitOhm`, with the
// digits that make a resistance below that limit read below it.
std::string scaledOhmText(double ohm, std::optional<double> limitOhm) {
  static constexpr std::array<std::pair<double, const char*>, 5> units = {
      {{1e12, "T"}, {1e9, "G"}, {1e6, "M"}, {1e3, "k"}, {1, ""}}};
  for (const auto& [factor, prefix] : units) {
    if (std::fabs(ohm) >= factor || factor == 1) {
      const double scaled = ohm / factor;
      int decimals = std::fabs(scaled) >= 100 ? 1 : std::fabs(scaled) >= 10 ? 2 : 3;
      if (limitOhm) decimals = decimalsBelow(scaled, *limitOhm / factor, decimals);
      return fixed(scaled, decimals) + " " + prefix + "\xCE\xA9";
    }
  }
  return fixed(ohm, 3);
}

// ohmText with the digits that make a resistance below `limitOhm` read below it.
std::string ohmBelowText(double ohm, double limitOhm) {
  return ohm < limitOhm ? scaledOhmText(ohm, limitOhm) : scaledOhmText(ohm, std::nullopt);
}

constexpr const char* degreesC =
    " \xC2\xB0"
    "C";

std::string markName(double markS) {
  return markS >= 60 ? "R(" + fixed(markS / 60, 0) + " min)" : "R(" + fixed(markS, 0) + " s)";
}

// The one-minute minimum in ohms and its name; none for kV + 1 without a rated voltage.
std::optional<std::pair<double, std::string>> minimumOf(const TestJudgement& j) {
  switch (j.minimum) {
    case MinimumClass::FormWound100M:
      return std::pair{100e6, std::string("100 M\xCE\xA9 (form-wound, after 1970)")};
    case MinimumClass::RandomWound5M:
      return std::pair{5e6, std::string("5 M\xCE\xA9 (random-wound, below 1 kV)")};
    case MinimumClass::KvPlusOne: {
      if (!j.ratedKv) return std::nullopt;
      const double ohm = (*j.ratedKv + 1.0) * 1e6;
      return std::pair{ohm,
                       ohmText(ohm) + " (rated " + numberText(*j.ratedKv) + " kV + 1 M\xCE\xA9)"};
    }
    case MinimumClass::Fixed:
      break;
  }
  const double ohm = j.fixedMinimumMOhm * 1e6;
  return std::pair{ohm, ohmText(ohm)};
}

// The grade of a DAR, with the sources the manual names: R(60 s)/R(30 s) in the bands of the
// instrument makers' insulation-testing guides (questionable 1.0 to 1.25, good 1.4 to 1.6,
// excellent above 1.6; they give none below 1.0 nor between 1.25 and 1.4); R(60 s)/R(15 s)
// against the power-industry test codes' absorption ratio of at least 1.3.
std::string darGrade(DarMarks marks, double dar) {
  if (marks == DarMarks::R60R15) return dar < 1.3 ? "below 1.3 (damp?)" : "1.3 or more";
  if (dar < 1.0) return "no grade (the bands begin at 1.0)";
  if (dar <= 1.25) return "questionable";
  if (dar < 1.4) return "no grade (between the questionable and the good band)";
  return dar <= 1.6 ? "good" : "excellent";
}

// A DAR with the decimals that keep it in its own grade (1.2504 is not "1.25: no grade").
std::string darText(DarMarks marks, double dar) {
  int decimals = 2;
  while (decimals < 9) {
    const double shown = std::round(dar * std::pow(10.0, decimals)) / std::pow(10.0, decimals);
    if (darGrade(marks, shown) == darGrade(marks, dar)) break;
    ++decimals;
  }
  return fixed(dar, decimals);
}

struct Judging {
  InsulationTest& test;
  const TestJudgement& j;
  bool failed = false;
  bool incomplete = false;

  void reason(std::string text) { test.reasons.push_back(std::move(text)); }

  // Insulation resistance at 1 minute against the minimum.
  void oneMinute() {
    const auto minimum = minimumOf(j);
    if (!test.r60.found) {
      incomplete = true;
      reason("no reading at 1 min (test " + fixed(test.durationS, 0) +
             " s): insulation resistance not judged");
      return;
    }
    if (!minimum) {
      incomplete = true;
      reason("R(1 min) not judged against kV + 1 M\xCE\xA9: rated voltage unknown");
      return;
    }
    const auto& [minimumOhm, minimumName] = *minimum;
    if (test.r60.r.overRange) {
      reason("R(1 min) over range, above the minimum " + minimumName);
      return;
    }
    const double r = j.windingTemperatureC ? *test.r60At40COhm : test.r60.r.ohm;
    const std::string what = j.windingTemperatureC
                                 ? "R(1 min) at 40" + std::string(degreesC) + " " +
                                       ohmBelowText(r, minimumOhm) + " (measured " +
                                       ohmText(test.r60.r.ohm) + " at " +
                                       fixed(*j.windingTemperatureC, 1) + degreesC + ")"
                                 : "R(1 min) " + ohmBelowText(r, minimumOhm) +
                                       " (not corrected: no winding temperature)";
    if (r < minimumOhm) {
      failed = true;
      reason(what + " below the minimum " + minimumName);
    } else {
      reason(what + " meets the minimum " + minimumName);
    }
    if (j.windingTemperatureC && std::fabs(*j.windingTemperatureC - 40.0) > 30.0) {
      reason("the correction factor is approximate so far from 40" + std::string(degreesC) + " (" +
             fixed(std::fabs(*j.windingTemperatureC - 40.0), 1) + " K)");
    }
  }

  void judgePi(double pi, const std::string& name) {
    const double piMinimum = j.thermalClass == 'A' ? 1.5 : 2.0;
    const std::string limit =
        "the minimum " + fixed(piMinimum, 1) + " for class " + std::string(1, j.thermalClass);
    if (pi < piMinimum) {
      failed = true;
      reason(name + " " + ratioBelowText(pi, piMinimum) + " below " + limit);
    } else {
      reason(name + " " + fixed(pi, 2) + " meets " + limit);
    }
  }

  // Polarization index: the readings' own, else the meter's; both shown when both exist.
  void polarizationIndex() {
    // The standard's bound is on R(1 min) at 40 °C; as measured when no temperature is given.
    const auto r60 = test.r60At40COhm ? test.r60At40COhm : test.r60.ohm();
    const bool piMeaningless =
        (r60 && *r60 > j.piMeaningfulUpToOhm) || (test.r60.found && test.r60.r.overRange);
    const std::string meterShown =
        test.meterPi ? " (the meter's PI " + fixed(*test.meterPi, 2) + " not judged either)" : "";
    if (piMeaningless) {
      reason("PI not judged: R(1 min)" +
             (test.r60At40COhm ? " at 40" + std::string(degreesC) : std::string()) + " above " +
             ohmText(j.piMeaningfulUpToOhm) + meterShown);
    } else if (test.pi) {
      judgePi(*test.pi, "PI");
      if (test.meterPi) {
        const bool differs = std::fabs(*test.meterPi - *test.pi) > 0.1;
        reason("the meter's PI " + fixed(*test.meterPi, 2) +
               (differs
                    ? " differs from the readings' PI " + fixed(*test.pi, 2) + " by more than 0.1"
                    : " agrees with the readings' PI"));
      }
    } else if (test.r600.found && test.r600.r.overRange) {
      reason("PI undefined: R(10 min) over range" + meterShown);
    } else if (test.meterPi) {
      judgePi(*test.meterPi, "meter's PI");
    } else if (test.r600.found) {
      incomplete = true;
      reason("PI undefined: no R(1 min)");
    } else {
      reason("PI not measured (test shorter than 10 min)");
    }
  }

  // Dielectric absorption ratio: told with its grade where a source gives one, never judged.
  void absorptionRatio() {
    const std::string name = j.dar == DarMarks::R60R15 ? "DAR (60/15)" : "DAR (60/30)";
    if (!test.dar) {
      const MarkFigure& base = j.dar == DarMarks::R60R15 ? test.r15 : test.r30;
      if ((base.found && base.r.overRange) || (test.r60.found && test.r60.r.overRange)) {
        reason(name + " undefined: a reading over range");
      }
      return;
    }
    reason(name + " " + darText(j.dar, *test.dar) + ": " + darGrade(j.dar, *test.dar));
  }

  // Says which figures were taken between readings rather than at one.
  void interpolations() {
    std::string told;
    for (const auto& [figure, markS] : {std::pair{&test.r15, 15.0}, std::pair{&test.r30, 30.0},
                                        std::pair{&test.r60, 60.0}, std::pair{&test.r600, 600.0}}) {
      if (!figure->found || !figure->interpolated) continue;
      const bool extrapolated = figure->toS < markS;
      told += (told.empty() ? "" : "; ") + markName(markS) +
              (extrapolated ? " extrapolated from the readings at " : " interpolated between ") +
              fixed(figure->fromS, 0) + " s and " + fixed(figure->toS, 0) + " s";
    }
    if (!told.empty()) reason(told + " (log R linear in log t)");
  }
};

// Works out the figures of one test from its readings.
void measure(InsulationTest& test, const std::vector<TestReading>& readings,
             const TestJudgement& j) {
  test.readings = readings.size();
  test.durationS = readings.empty() ? 0 : readings.back().elapsedS;
  std::vector<double> times;
  std::vector<MarkReading> resistances;
  std::size_t negative = 0;
  for (const TestReading& reading : readings) {
    times.push_back(reading.elapsedS);
    if (reading.meterPi) {
      test.meterPi = reading.piValue;
      continue;
    }
    if (!reading.r) continue;
    if (!reading.r->overRange && reading.r->ohm < 0) {
      ++negative;
      continue;
    }
    resistances.push_back({reading.elapsedS, *reading.r});
    if (reading.r->overRange) continue;
    test.curve.emplace_back(reading.elapsedS, reading.r->ohm);
    if (!test.minOhm || reading.r->ohm < *test.minOhm) test.minOhm = reading.r->ohm;
  }
  test.spacingS = medianSpacing(times);
  test.r15 = figureAtMark(resistances, 15, test.spacingS);
  test.r30 = figureAtMark(resistances, 30, test.spacingS);
  test.r60 = figureAtMark(resistances, 60, test.spacingS);
  test.r600 = figureAtMark(resistances, 600, test.spacingS);
  if (const auto r60 = test.r60.ohm(); r60 && j.windingTemperatureC) {
    test.r60At40COhm = *r60 * std::pow(0.5, (40.0 - *j.windingTemperatureC) / 10.0);
  }
  test.dar = ratio(test.r60, j.dar == DarMarks::R60R15 ? test.r15 : test.r30);
  test.pi = ratio(test.r600, test.r60);

  Judging judging{test, j};
  if (negative > 0) {
    judging.incomplete = true;
    judging.reason(std::to_string(negative) +
                   " reading(s) with a negative resistance left out: no meter shows one");
  }
  judging.oneMinute();
  judging.polarizationIndex();
  judging.absorptionRatio();
  judging.interpolations();
  test.verdict = judging.failed ? "fail" : judging.incomplete ? "incomplete" : "pass";
}

// A time of day that falls by more than an hour (more than a clock change) is the next day.
bool startsNextDay(std::int32_t previousMs, std::int32_t ms) { return previousMs - ms > 3'600'000; }

}  // namespace

std::optional<Resistance> resistanceFromTexts(std::string_view value, std::string_view unit) {
  const auto reading = readingValue(value, unit, std::nullopt);
  if (!reading || reading->quantity != ReadingQuantity::Resistance) return std::nullopt;
  return Resistance{reading->overRange, reading->overRange ? 0 : reading->base};
}

std::optional<int> insulationTestVoltage(std::string_view function) {
  function = trimmedCell(function);
  if (!function.starts_with("IR:")) return std::nullopt;
  function.remove_prefix(3);
  int volts = 0;
  const auto [end, status] =
      std::from_chars(function.data(), function.data() + function.size(), volts);
  if (status != std::errc{} || end == function.data() || volts <= 0) return std::nullopt;
  return volts;
}

bool parseDarMarks(std::string_view text, DarMarks& dar) {
  if (text == "60/30") {
    dar = DarMarks::R60R30;
  } else if (text == "60/15") {
    dar = DarMarks::R60R15;
  } else {
    return false;
  }
  return true;
}

bool parseMinimumClass(std::string_view text, TestJudgement& judgement) {
  if (text == "100M") {
    judgement.minimum = MinimumClass::FormWound100M;
  } else if (text == "5M") {
    judgement.minimum = MinimumClass::RandomWound5M;
  } else if (text == "kv1") {
    judgement.minimum = MinimumClass::KvPlusOne;
  } else {
    const auto number = decimalNumber(text);
    if (!number || *number < 0 || !std::isfinite(*number) || text.find(',') != text.npos) {
      return false;
    }
    judgement.minimum = MinimumClass::Fixed;
    judgement.fixedMinimumMOhm = *number;
  }
  return true;
}

std::optional<double> typedNumber(std::string_view text) { return decimalNumber(text); }

std::optional<double> typedTemperature(std::string_view text) {
  const auto celsius = typedNumber(text);
  if (!celsius || *celsius < minTypedCelsius || *celsius > maxTypedCelsius) return std::nullopt;
  return celsius;
}

std::optional<double> typedRatedKv(std::string_view text) {
  const auto kv = typedNumber(text);
  if (!kv || *kv <= 0 || *kv > 1000) return std::nullopt;
  return kv;
}

std::string darMarksText(DarMarks dar) { return dar == DarMarks::R60R15 ? "60/15" : "60/30"; }

std::string minimumClassText(const TestJudgement& judgement) {
  switch (judgement.minimum) {
    case MinimumClass::FormWound100M:
      return "100M";
    case MinimumClass::RandomWound5M:
      return "5M";
    case MinimumClass::KvPlusOne:
      return "kv1";
    case MinimumClass::Fixed:
      break;
  }
  return numberText(judgement.fixedMinimumMOhm);
}

bool parseThermalClass(std::string_view text, char& thermalClass) {
  if (text.size() != 1) return false;
  const char c = text.front();
  if (c != 'A' && c != 'B' && c != 'F' && c != 'H') return false;
  thermalClass = c;
  return true;
}

std::vector<InsulationTest> findInsulationTests(const ReadingsTable& table,
                                                const TestJudgement& judgement) {
  std::vector<InsulationTest> tests;
  std::vector<TestReading> readings;
  InsulationTest current;
  bool open = false;
  std::optional<std::int32_t> firstMs;  // the untimed run's first time of day
  std::optional<std::int32_t> lastMs;
  std::optional<std::int32_t> lastTimer;
  RunningMedian spacing;  // of the untimed test so far
  std::optional<std::int32_t> day = judgement.firstDay;
  std::optional<std::int32_t> dayMs;  // the last time of day seen, for the days it passes

  const auto close = [&] {
    if (!open) return;
    measure(current, readings, judgement);
    tests.push_back(std::move(current));
    current = InsulationTest{};
    readings.clear();
    spacing.clear();
    open = false;
  };

  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    const std::optional<std::int32_t> ms = table.timeMs(row);
    if (ms) {
      if (day && dayMs && startsNextDay(*dayMs, *ms)) ++*day;
      dayMs = ms;
    }
    const std::optional<std::string_view> function = table.text(row, ReadingsTable::V_Range);
    const int volts = function ? insulationTestVoltage(*function).value_or(0) : 0;
    const std::optional<std::int32_t> timer = table.testTimeS(row);
    // A reading in plain ohms is a low-resistance check, whatever voltage the display kept.
    const std::string_view unit = table.text(row, ReadingsTable::Unit).value_or("");
    const auto scale = readingUnit(unit);
    const bool lowResistance =
        scale && scale->quantity == ReadingQuantity::Resistance && scale->exponent == 0;
    if (volts == 0 || lowResistance || (!timer && !ms)) {
      close();
      continue;
    }
    const std::string_view fn = trimmedCell(*function);
    bool continues = open && current.function == fn && current.voltageV == volts &&
                     current.timed == timer.has_value();
    if (continues && timer) continues = *timer >= *lastTimer;
    if (continues && !timer) {
      const double gap = secondsBetween(*lastMs, *ms);
      const double bound = spacing.empty() ? 3 * judgement.gapSeconds
                                           : std::max(judgement.gapSeconds, 3 * spacing.median());
      continues = gap <= bound;
      if (continues && gap > 0) spacing.add(gap);
    }
    if (!continues) {
      close();
      open = true;
      current.number = static_cast<int>(tests.size()) + 1;
      current.firstRow = row;
      current.function = std::string(fn);
      current.voltageV = volts;
      current.timed = timer.has_value();
      current.startMs = ms;
      current.startDay = ms ? day : std::nullopt;
      firstMs = ms;
    }
    current.lastRow = row;
    lastTimer = timer;
    lastMs = ms;

    TestReading reading;
    reading.elapsedS = timer ? *timer : secondsBetween(*firstMs, *ms);
    const std::string_view value = table.text(row, ReadingsTable::Value).value_or("");
    if (trimmedCell(table.text(row, ReadingsTable::I_Range).value_or("")) == piRemark) {
      if (const auto pi = decimalNumber(value)) {
        reading.meterPi = true;
        reading.piValue = *pi;
      }
    } else {
      reading.r = resistanceFromTexts(value, unit);
    }
    readings.push_back(reading);
  }
  close();
  return tests;
}

std::int32_t firstReadingDay(const ReadingsTable& table, std::int32_t endDay, std::int32_t endMs) {
  std::int32_t days = 0;
  std::optional<std::int32_t> lastMs;
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    const std::optional<std::int32_t> ms = table.timeMs(row);
    if (!ms) continue;
    if (lastMs && startsNextDay(*lastMs, *ms)) ++days;
    lastMs = ms;
  }
  // A last reading later in the day than the end moment was taken the day before it.
  if (lastMs && *lastMs > endMs) ++days;
  return endDay - days;
}

std::string testStartText(const InsulationTest& test, char dateSeparator) {
  if (!test.startMs) return "-";
  if (!test.startDay) return clockText(*test.startMs);
  return isoDate(*test.startDay) + dateSeparator + clockText(*test.startMs);
}

std::string ohmText(double ohm) { return scaledOhmText(ohm, std::nullopt); }

std::string resistanceText(const MarkFigure& figure) {
  if (!figure.found) return "-";
  if (figure.r.overRange) return "OL";
  return ohmText(figure.r.ohm);
}

std::string insulationTestsJson(const std::vector<InsulationTest>& tests) {
  std::string out = "[";
  for (const InsulationTest& t : tests) {
    if (&t != tests.data()) out += ",";
    out += "\n  {\"test\": " + std::to_string(t.number);
    out += ", \"function\": " + jsonString(gbkToUtf8(t.function));
    out += ", \"voltage_v\": " + std::to_string(t.voltageV);
    out += ", \"start\": " + (t.startMs ? jsonString(testStartText(t)) : std::string("null"));
    out += ", \"duration_s\": " + jsonNumber(t.durationS);
    out += ", \"readings\": " + std::to_string(t.readings);
    out += ", \"r15_ohm\": " + jsonNumber(t.r15.ohm());
    out += ", \"r30_ohm\": " + jsonNumber(t.r30.ohm());
    out += ", \"r60_ohm\": " + jsonNumber(t.r60.ohm());
    out += ", \"r600_ohm\": " + jsonNumber(t.r600.ohm());
    out += ", \"r60_40c_ohm\": " + jsonNumber(t.r60At40COhm);
    out += ", \"dar\": " + jsonNumber(t.dar);
    out += ", \"pi\": " + jsonNumber(t.pi);
    out += ", \"meter_pi\": " + jsonNumber(t.meterPi);
    out += ", \"min_ohm\": " + jsonNumber(t.minOhm);
    out += ", \"verdict\": " + jsonString(t.verdict);
    out += ", \"reasons\": [";
    for (std::size_t i = 0; i < t.reasons.size(); ++i) {
      if (i > 0) out += ", ";
      out += jsonString(t.reasons[i]);
    }
    out += "]}";
  }
  out += tests.empty() ? "]\n" : "\n]\n";
  return out;
}

std::string insulationTestsText(const std::vector<InsulationTest>& tests) {
  if (tests.empty()) return "No insulation tests in the table.\n";
  const auto cell = [](std::string text, std::size_t width) {
    // Widths count characters: Ω and ° take two bytes each.
    std::size_t shown = 0;
    for (const char c : text) shown += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    if (shown < width) text.append(width - shown, ' ');
    return text + " ";
  };
  const auto optional = [](std::optional<double> value, int decimals) {
    return value ? fixed(*value, decimals) : std::string("-");
  };
  std::string out = cell("Test", 4) + cell("Voltage", 7) + cell("Start", 19) + cell("Duration", 8) +
                    cell("Readings", 8) + cell("R 15 s", 11) + cell("R 30 s", 11) +
                    cell("R 1 min", 11) + cell("R 10 min", 11) + cell("R 1 min 40°C", 12) +
                    cell("DAR", 5) + cell("PI", 5) + cell("Meter PI", 8) + cell("Lowest", 11) +
                    "Verdict\n";
  for (const InsulationTest& t : tests) {
    out += cell(std::to_string(t.number), 4) + cell(std::to_string(t.voltageV) + " V", 7) +
           cell(testStartText(t, ' '), 19) + cell(fixed(t.durationS, 0) + " s", 8) +
           cell(std::to_string(t.readings), 8) + cell(resistanceText(t.r15), 11) +
           cell(resistanceText(t.r30), 11) + cell(resistanceText(t.r60), 11) +
           cell(resistanceText(t.r600), 11) +
           cell(t.r60At40COhm ? ohmText(*t.r60At40COhm) : "-", 12) + cell(optional(t.dar, 2), 5) +
           cell(optional(t.pi, 2), 5) + cell(optional(t.meterPi, 2), 8) +
           cell(t.minOhm ? ohmText(*t.minOhm) : "-", 11) + t.verdict + "\n";
    for (const std::string& reason : t.reasons) out += "     - " + reason + "\n";
  }
  return out;
}

}  // namespace ostrel
