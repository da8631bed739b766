#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ReadingsTable.h"

namespace ostrel {

// Insulation tests found in a readings table, their figures and a verdict on each.
//
// A test is a run of consecutive insulation readings (function "IR:...") at one test voltage
// while the meter's timer rises. A timer that falls, a change of function or test voltage,
// or a change between readings with and without a timer starts the next test. Readings
// without a timer take their elapsed time from the Time column; between them a gap of more
// than gapSeconds (or a Time that is missing) starts the next test too. Any other reading
// (voltage, a function that is not insulation) ends the test and belongs to none.

// A resistance as the meter showed it.
struct Resistance {
  bool overRange = false;  // "OL": above the range, value unknown
  double ohm = 0;          // when not over range
};

// The resistance a Value and Unit text stand for, read by readingValue (ReadingNumber.h) with
// "." or "," as decimal separator. Units (GBK or UTF-8 ohm sign): Ω, kΩ, MΩ, GΩ, TΩ; the
// meter's "OL" is over range. nullopt for anything else ("NULL", a voltage, a ratio).
std::optional<Resistance> resistanceFromTexts(std::string_view value, std::string_view unit);

// The test voltage in volts a Function text names ("IR:500V 20GΩ" is 500); nullopt when the
// text is no insulation function.
std::optional<int> insulationTestVoltage(std::string_view function);

// A figure taken at a mark of the test: none (no reading within the tolerance before the
// mark), over range, or a resistance.
struct MarkFigure {
  bool found = false;
  Resistance r;
  // The number in ohms only when found and not over range.
  [[nodiscard]] std::optional<double> ohm() const;
};

enum class DarMarks { R60R30, R60R15 };
enum class MinimumClass { FormWound100M, RandomWound5M, KvPlusOne, Fixed };

struct TestJudgement {
  std::optional<double> windingTemperatureC;  // none: R(1 min) is judged as measured
  DarMarks dar = DarMarks::R60R30;
  MinimumClass minimum = MinimumClass::FormWound100M;
  double fixedMinimumMOhm = 100;  // for MinimumClass::Fixed
  char thermalClass = 'B';        // A, B, F or H
  double gapSeconds = 10;         // a longer gap between untimed readings starts a new test
  double markToleranceS = 5;      // a figure is the last reading at most this long before its mark
  double piMeaningfulUpToOhm = 5e9;  // above this R(1 min) the PI is not judged
};

// The test record: what the user entered about the object tested and the conditions of the
// test, UTF-8 texts as typed. Temperatures and humidity stay texts (typedNumber reads them), so
// nothing the user wrote is lost when it is no number.
struct TestRecord {
  std::string customer, site, asset, operatorName, instrumentSerial;
  std::string ambientC, windingC, humidityPct;
  std::string notes;
};

// A number as a person types it, read as a Value text is (valueNumber): blanks around it, an
// optional sign, "." or "," as the one decimal separator, at most 15 digits. nullopt for
// anything else (and for an empty text).
std::optional<double> typedNumber(std::string_view text);

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
  std::optional<std::int32_t> startMs;  // time of day of its first reading
  bool timed = false;                   // elapsed times are the meter's timer
  double durationS = 0;                 // elapsed time of its last reading
  std::size_t readings = 0;             // every reading of the test, the meter's PI ratios included
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

// The tests as JSON: an array of one object per test with the keys test, function,
// voltage_v, start, duration_s, readings, r15_ohm, r30_ohm, r60_ohm, r600_ohm, r60_40c_ohm,
// dar, pi, meter_pi, min_ohm, verdict, reasons (numbers or null). Texts in UTF-8.
std::string insulationTestsJson(const std::vector<InsulationTest>& tests);

// The tests as a readable table, one line per test and its reasons below it (UTF-8).
std::string insulationTestsText(const std::vector<InsulationTest>& tests);

// "1.23 GΩ", "OL", "—": a resistance for people (UTF-8).
std::string resistanceText(const MarkFigure& figure);
std::string ohmText(double ohm);

}  // namespace ostrel
