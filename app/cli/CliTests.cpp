// ostrel-cli tests TABLE [--json] [--temperature C] [--dar 60/30|60/15]
// [--minimum 100M|5M|kv1|N] [--thermal-class A|B|F|H]: the insulation tests of a table file,
// their figures and verdicts. TABLE is a table file as "Open Data" loads it, or a recording
// journal (whose lines may carry the meter's timer).
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "CliCommands.h"
#include "CliLoadFailure.h"
#include "record/InsulationTests.h"
#include "record/ReadingsTable.h"
#include "record/TableFiles.h"

namespace ostrel::cli {

namespace {

constexpr const char* testsUsage =
    "usage: ostrel-cli tests TABLE [--json] [--temperature C] [--dar 60/30|60/15]\n"
    "                  [--minimum 100M|5M|kv1|N] [--thermal-class A|B|F|H]\n";

struct TestsOptions {
  std::string table;
  bool json = false;
  TestJudgement judgement;
};

std::optional<double> celsius(const std::string& text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value) ||
      value < -273.15 || value > 1000) {
    return std::nullopt;
  }
  return value;
}

std::optional<TestsOptions> parse(const std::vector<std::string>& args) {
  TestsOptions options;
  std::vector<std::string> files;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
      files.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--temperature" && hasValue) {
      options.judgement.windingTemperatureC = celsius(args[++i]);
      if (!options.judgement.windingTemperatureC) return std::nullopt;
    } else if (arg == "--dar" && hasValue) {
      if (!parseDarMarks(args[++i], options.judgement.dar)) return std::nullopt;
    } else if (arg == "--minimum" && hasValue) {
      if (!parseMinimumClass(args[++i], options.judgement)) return std::nullopt;
    } else if (arg == "--thermal-class" && hasValue) {
      if (!parseThermalClass(args[++i], options.judgement.thermalClass)) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  if (files.size() != 1) return std::nullopt;
  options.table = files[0];
  return options;
}

}  // namespace

int runTests(const std::vector<std::string>& args) {
  const std::optional<TestsOptions> options = parse(args);
  if (!options) {
    std::fputs(testsUsage, stderr);
    return 2;
  }
  ReadingsTable table;
  if (!loadTableForCommand(options->table, table).ok()) return 1;
  const std::vector<InsulationTest> tests = findInsulationTests(table, options->judgement);
  const std::string out = options->json ? insulationTestsJson(tests) : insulationTestsText(tests);
  // A report larger than the buffer is written (and fails) inside fwrite: its error stays in
  // the stream's error flag, which fflush of an emptied buffer does not report.
  const bool written = std::fwrite(out.data(), 1, out.size(), stdout) == out.size();
  return written && std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
}

}  // namespace ostrel::cli
