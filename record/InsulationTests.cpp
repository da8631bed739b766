#include "InsulationTests.h"

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

MarkFigure figureAt(const std::vector<TestReading>& readings, double markS, double toleranceS) {
  MarkFigure figure;
  for (const TestReading& reading : readings) {
    if (reading.elapsedS > markS) break;
    if (reading.meterPi || !reading.r || reading.elapsedS < markS - toleranceS) continue;
    figure.found = true;
    figure.r = *reading.r;
  }
  return figure;
}

std::optional<double> ratio(const MarkFigure& top, const MarkFigure& bottom) {
  const auto a = top.ohm();
  const auto b = bottom.ohm();
  if (!a || !b || *b <= 0) return std::nullopt;
  return *a / *b;
}

void judge(InsulationTest& test, const TestJudgement& j) {
  bool failed = false;
  bool incomplete = false;
  std::vector<std::string>& reasons = test.reasons;

  // Insulation resistance at 1 minute against the minimum.
  double minimumOhm = 100e6;
  std::string minimumName = "100 M\xCE\xA9 (form-wound, after 1970)";
  switch (j.minimum) {
    case MinimumClass::FormWound100M:
      break;
    case MinimumClass::RandomWound5M:
      minimumOhm = 5e6;
      minimumName = "5 M\xCE\xA9 (random-wound, below 1 kV)";
      break;
    case MinimumClass::KvPlusOne:
      minimumOhm = (test.voltageV / 1000.0 + 1.0) * 1e6;
      minimumName = ohmText(minimumOhm) + " (test kV + 1 M\xCE\xA9)";
      break;
    case MinimumClass::Fixed:
      minimumOhm = j.fixedMinimumMOhm * 1e6;
      minimumName = ohmText(minimumOhm);
      break;
  }
  if (!test.r60.found) {
    incomplete = true;
    reasons.push_back("no reading at 1 min (test " + fixed(test.durationS, 0) +
                      " s): insulation resistance not judged");
  } else if (test.r60.r.overRange) {
    reasons.push_back("R(1 min) over range, above the minimum " + minimumName);
  } else {
    const double r = j.windingTemperatureC ? *test.r60At40COhm : test.r60.r.ohm;
    const std::string what =
        j.windingTemperatureC
            ? "R(1 min) at 40 \xC2\xB0"
              "C " +
                  ohmText(r) + " (measured " + ohmText(test.r60.r.ohm) + " at " +
                  fixed(*j.windingTemperatureC, 1) +
                  " \xC2\xB0"
                  "C)"
            : "R(1 min) " + ohmText(r) + " (not corrected: no winding temperature)";
    if (r < minimumOhm) {
      failed = true;
      reasons.push_back(what + " below the minimum " + minimumName);
    } else {
      reasons.push_back(what + " meets the minimum " + minimumName);
    }
  }

  // Polarization index.
  const double piMinimum = j.thermalClass == 'A' ? 1.5 : 2.0;
  const std::string piLimit =
      "the minimum " + fixed(piMinimum, 1) + " for class " + std::string(1, j.thermalClass);
  const auto judgePi = [&](double pi, const std::string& name) {
    if (pi < piMinimum) {
      failed = true;
      reasons.push_back(name + " " + fixed(pi, 2) + " below " + piLimit);
    } else {
      reasons.push_back(name + " " + fixed(pi, 2) + " meets " + piLimit);
    }
  };
  const auto r60 = test.r60.ohm();
  const bool piMeaningless =
      (r60 && *r60 > j.piMeaningfulUpToOhm) || (test.r60.found && test.r60.r.overRange);
  if (piMeaningless) {
    reasons.push_back("PI not judged: R(1 min) above " + ohmText(j.piMeaningfulUpToOhm));
  } else if (test.pi) {
    judgePi(*test.pi, "PI");
  } else if (test.r600.found && test.r600.r.overRange) {
    reasons.push_back("PI undefined: R(10 min) over range");
  } else if (test.meterPi) {
    judgePi(*test.meterPi, "meter's PI");
  } else if (test.r600.found) {
    incomplete = true;
    reasons.push_back("PI undefined: no R(1 min)");
  } else {
    reasons.push_back("PI not measured (test shorter than 10 min)");
  }

  // Dielectric absorption ratio: told, not judged.
  const std::string darName = j.dar == DarMarks::R60R15 ? "DAR (60/15)" : "DAR (60/30)";
  if (test.dar) {
    const double dar = *test.dar;
    const char* grade = dar < 1.0     ? "poor"
                        : dar <= 1.25 ? "questionable"
                        : dar <= 1.4  ? "acceptable"
                                      : "good";
    reasons.push_back(darName + " " + fixed(dar, 2) + ": " + grade);
  } else {
    const MarkFigure& base = j.dar == DarMarks::R60R15 ? test.r15 : test.r30;
    if ((base.found && base.r.overRange) || (test.r60.found && test.r60.r.overRange)) {
      reasons.push_back(darName + " undefined: a reading over range");
    }
  }

  test.verdict = failed ? "fail" : incomplete ? "incomplete" : "pass";
}

// Works out the figures of one test from its readings.
void measure(InsulationTest& test, const std::vector<TestReading>& readings,
             const TestJudgement& j) {
  test.readings = readings.size();
  test.durationS = readings.empty() ? 0 : readings.back().elapsedS;
  for (const TestReading& reading : readings) {
    if (reading.meterPi) {
      test.meterPi = reading.piValue;
      continue;
    }
    if (!reading.r || reading.r->overRange) continue;
    test.curve.emplace_back(reading.elapsedS, reading.r->ohm);
    if (!test.minOhm || reading.r->ohm < *test.minOhm) test.minOhm = reading.r->ohm;
  }
  test.r15 = figureAt(readings, 15, j.markToleranceS);
  test.r30 = figureAt(readings, 30, j.markToleranceS);
  test.r60 = figureAt(readings, 60, j.markToleranceS);
  test.r600 = figureAt(readings, 600, j.markToleranceS);
  if (const auto r60 = test.r60.ohm(); r60 && j.windingTemperatureC) {
    test.r60At40COhm = *r60 * std::pow(0.5, (40.0 - *j.windingTemperatureC) / 10.0);
  }
  test.dar = ratio(test.r60, j.dar == DarMarks::R60R15 ? test.r15 : test.r30);
  test.pi = ratio(test.r600, test.r60);
  judge(test, j);
}

}  // namespace

std::optional<double> MarkFigure::ohm() const {
  if (!found || r.overRange) return std::nullopt;
  return r.ohm;
}

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

  const auto close = [&] {
    if (!open) return;
    measure(current, readings, judgement);
    tests.push_back(std::move(current));
    current = InsulationTest{};
    readings.clear();
    open = false;
  };

  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    const std::optional<std::string_view> function = table.text(row, ReadingsTable::V_Range);
    const int volts = function ? insulationTestVoltage(*function).value_or(0) : 0;
    const std::optional<std::int32_t> timer = table.testTimeS(row);
    const std::optional<std::int32_t> ms = table.timeMs(row);
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
    if (continues && !timer) continues = secondsBetween(*lastMs, *ms) <= judgement.gapSeconds;
    if (!continues) {
      close();
      open = true;
      current.number = static_cast<int>(tests.size()) + 1;
      current.firstRow = row;
      current.function = std::string(fn);
      current.voltageV = volts;
      current.timed = timer.has_value();
      current.startMs = ms;
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

std::string ohmText(double ohm) {
  static constexpr std::array<std::pair<double, const char*>, 5> units = {
      {{1e12, "T"}, {1e9, "G"}, {1e6, "M"}, {1e3, "k"}, {1, ""}}};
  for (const auto& [factor, prefix] : units) {
    if (std::fabs(ohm) >= factor || factor == 1) {
      const double scaled = ohm / factor;
      const int decimals = std::fabs(scaled) >= 100 ? 1 : std::fabs(scaled) >= 10 ? 2 : 3;
      return fixed(scaled, decimals) + " " + prefix + "\xCE\xA9";
    }
  }
  return fixed(ohm, 3);
}

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
    out += ", \"start\": " + (t.startMs ? jsonString(clockText(*t.startMs)) : std::string("null"));
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
  std::string out = cell("Test", 4) + cell("Voltage", 7) + cell("Start", 8) + cell("Duration", 8) +
                    cell("Readings", 8) + cell("R 15 s", 11) + cell("R 30 s", 11) +
                    cell("R 1 min", 11) + cell("R 10 min", 11) + cell("R 1 min 40°C", 12) +
                    cell("DAR", 5) + cell("PI", 5) + cell("Meter PI", 8) + cell("Lowest", 11) +
                    "Verdict\n";
  for (const InsulationTest& t : tests) {
    out += cell(std::to_string(t.number), 4) + cell(std::to_string(t.voltageV) + " V", 7) +
           cell(t.startMs ? clockText(*t.startMs) : "-", 8) +
           cell(fixed(t.durationS, 0) + " s", 8) + cell(std::to_string(t.readings), 8) +
           cell(resistanceText(t.r15), 11) + cell(resistanceText(t.r30), 11) +
           cell(resistanceText(t.r60), 11) + cell(resistanceText(t.r600), 11) +
           cell(t.r60At40COhm ? ohmText(*t.r60At40COhm) : "-", 12) + cell(optional(t.dar, 2), 5) +
           cell(optional(t.pi, 2), 5) + cell(optional(t.meterPi, 2), 8) +
           cell(t.minOhm ? ohmText(*t.minOhm) : "-", 11) + t.verdict + "\n";
    for (const std::string& reason : t.reasons) out += "     - " + reason + "\n";
  }
  return out;
}

}  // namespace ostrel
