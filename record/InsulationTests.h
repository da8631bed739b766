#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ReadingsTable.h"
#include "TestMarks.h"

namespace ostrel {

// Insulation tests found in a readings table, their figures and a verdict on each.
//
// A test is a run of consecutive insulation readings (function "IR:...") at one test voltage
// while the meter's timer rises (two readings in one timer second stay one test). A timer that
// falls, a change of function or test voltage, or a change between readings with and without a
// timer starts the next test. Readings without a timer take their elapsed time from the Time
// column; between them a gap longer than both gapSeconds and three times the median spacing of
// the test so far starts the next test too (after a test's first reading, whose spacing is not
// known yet, a gap longer than three times gapSeconds), and so does a missing Time. Any other
// reading (voltage, a function that is not insulation) ends the test and belongs to none.
//
// The figures at 15 s, 30 s, 1 min and 10 min are taken between the readings around each mark
// (figureAtMark, TestMarks.h), so any sampling interval up to a minute gives them.

// The resistance a Value and Unit text stand for, read by readingValue (ReadingNumber.h) with
// "." or "," as decimal separator. Units (GBK or UTF-8 ohm sign): Ω, kΩ, MΩ, GΩ, TΩ; the
// meter's "OL" is over range. nullopt for anything else ("NULL", a voltage, a ratio).
std::optional<Resistance> resistanceFromTexts(std::string_view value, std::string_view unit);

// The test voltage in volts a Function text names ("IR:500V 20GΩ" is 500); nullopt when the
// text is no insulation function.
std::optional<int> insulationTestVoltage(std::string_view function);

enum class DarMarks { R60R30, R60R15 };
enum class MinimumClass { FormWound100M, RandomWound5M, KvPlusOne, Fixed };

struct TestJudgement {
  std::optional<double> windingTemperatureC;  // none: R(1 min) is judged as measured
  DarMarks dar = DarMarks::R60R30;
  MinimumClass minimum = MinimumClass::FormWound100M;
  double fixedMinimumMOhm = 100;  // for MinimumClass::Fixed
  // The machine's rated (line-to-line) voltage in kV, which the kV + 1 minimum is made of;
  // none: the kV + 1 minimum is not judged ("rated voltage unknown").
  std::optional<double> ratedKv;
  char thermalClass = 'B';           // A, B, F or H
  double gapSeconds = 30;            // see the rule above
  double piMeaningfulUpToOhm = 5e9;  // above this R(1 min) the PI is not judged
  // The date of the table's first reading (days since 1970-01-01; see firstReadingDay); none:
  // the tests' dates are not known.
  std::optional<std::int32_t> firstDay;
};

// The test record: what the user entered about the object tested and the conditions of the
// test, UTF-8 texts as typed. Temperatures and humidity stay texts (typedNumber reads them), so
// nothing the user wrote is lost when it is no number.
struct TestRecord {
  std::string customer, site, asset, operatorName, instrumentSerial;
  std::string ambientC, windingC, humidityPct;
  std::string notes;
  std::string ratedKv;           // "Rated voltage (kV)"
  std::string firstReadingDate;  // "Date of first reading", YYYY-MM-DD
};

// A number as a person types it, read as a Value text is (valueNumber): blanks around it, an
// optional sign, "." or "," as the one decimal separator, at most 15 digits. nullopt for
// anything else (and for an empty text, and for "2e1").
std::optional<double> typedNumber(std::string_view text);
// A typed temperature, the one rule of the window and the command line: a typedNumber from
// minTypedCelsius to maxTypedCelsius; nullopt otherwise.
inline constexpr double minTypedCelsius = -50;
inline constexpr double maxTypedCelsius = 200;
std::optional<double> typedTemperature(std::string_view text);
// A typed rated voltage in kV: a typedNumber above 0 and at most 1000; nullopt otherwise.
std::optional<double> typedRatedKv(std::string_view text);

// Option texts as the command takes them; false (and nothing changed) for an unknown text.
bool parseDarMarks(std::string_view text, DarMarks& dar);                 // "60/30", "60/15"
bool parseMinimumClass(std::string_view text, TestJudgement& judgement);  // "100M", "5M", "kv1", N
bool parseThermalClass(std::string_view text, char& thermalClass);        // A, B, F, H
// The same texts back: "60/30" or "60/15"; "100M", "5M", "kv1" or the number of MΩ.
std::string darMarksText(DarMarks dar);
std::string minimumClassText(const TestJudgement& judgement);

struct InsulationTest {
  int number = 0;            // 1, 2, ... in table order
  std::size_t firstRow = 0;  // rows of the table the test spans (other rows never between)
  std::size_t lastRow = 0;
  std::string function;  // the Function text (GBK) of its readings
  int voltageV = 0;
  std::optional<std::int32_t> startMs;   // time of day of its first reading
  std::optional<std::int32_t> startDay;  // its date (days since 1970-01-01), when known
  bool timed = false;                    // elapsed times are the meter's timer
  double durationS = 0;                  // elapsed time of its last reading
  double spacingS = 0;                   // the median spacing of its readings
  std::size_t readings = 0;  // every reading of the test, the meter's PI ratios included
  MarkFigure r15, r30, r60, r600;
  std::optional<double> r60At40COhm;
  std::optional<double> dar;
  std::optional<double> pi;
  std::optional<double> meterPi;  // the last PI ratio the meter showed during the test
  std::optional<double> minOhm;   // the lowest resistance reading (over-range ones left out)
  std::string verdict;            // "pass", "fail" or "incomplete"
  std::vector<std::string> reasons;

  // The time and resistance of each resistance reading (over-range ones left out): for plots.
  std::vector<std::pair<double, double>> curve;
};

// Finds the tests of the table and works out every figure and verdict.
std::vector<InsulationTest> findInsulationTests(const ReadingsTable& table,
                                                const TestJudgement& judgement = {});

// The date of the first reading of a table whose last reading was taken before the moment
// endDay (days since 1970-01-01) and endMs (local time of day): a recording's, or a loaded
// file's modification time. Each time of day that falls by more than an hour from the reading
// before it (more than a clock change) is taken as the next day.
std::int32_t firstReadingDay(const ReadingsTable& table, std::int32_t endDay, std::int32_t endMs);

// The start of a test: "YYYY-MM-DDTHH:MM:SS" when its date is known, "HH:MM:SS" when only its
// time is, "-" when neither; `dateSeparator` in place of the "T" (" " for people).
std::string testStartText(const InsulationTest& test, char dateSeparator = 'T');

// The tests as JSON: an array of one object per test with the keys test, function,
// voltage_v, start (testStartText), duration_s, readings, r15_ohm, r30_ohm, r60_ohm, r600_ohm,
// r60_40c_ohm, dar, pi, meter_pi, min_ohm, verdict, reasons (numbers or null). Texts in UTF-8.
std::string insulationTestsJson(const std::vector<InsulationTest>& tests);

// The tests as a readable table, one line per test and its reasons below it (UTF-8).
std::string insulationTestsText(const std::vector<InsulationTest>& tests);

// "1.23 GΩ", "OL", "—": a resistance for people (UTF-8).
std::string resistanceText(const MarkFigure& figure);
std::string ohmText(double ohm);

}  // namespace ostrel
