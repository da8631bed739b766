// ostrel-cli tests TABLE [--json] [--temperature C] [--dar 60/30|60/15]
// [--minimum 100M|5M|kv1|N] [--rated-kv KV] [--thermal-class A|B|F|H] [--date YYYY-MM-DD]:
// the insulation tests of a table file, their figures and verdicts. TABLE is a table file as
// "Open Data" loads it, or a recording journal (whose lines may carry the meter's timer).
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <variant>

#include "CliCommands.h"
#include "CliLoadFailure.h"
#include "record/InsulationTests.h"
#include "record/ReadingsTable.h"
#include "record/TableFiles.h"

namespace ostrel::cli {

namespace {

constexpr const char* testsUsage =
    "usage: ostrel-cli tests TABLE [--json] [--temperature C] [--dar 60/30|60/15]\n"
    "                  [--minimum 100M|5M|kv1|N] [--rated-kv KV] [--thermal-class A|B|F|H]\n"
    "                  [--date YYYY-MM-DD]\n";

struct TestsOptions {
  std::string table;
  bool json = false;
  TestJudgement judgement;
};

// A wrong option value, said in words: the usage alone would not tell which rule it broke.
struct OptionRefused {
  std::string reason;
};

// The date of the table's first reading from the file's modification time (the moment its
// last reading was taken at the latest); none for standard input or a file without one.
std::optional<std::int32_t> firstDayFromFile(const std::string& name, const ReadingsTable& table) {
  struct stat info {};
  if (name == "-" || ::stat(name.c_str(), &info) != 0) return std::nullopt;
  std::tm local{};
  if (::localtime_r(&info.st_mtime, &local) == nullptr) return std::nullopt;
  char date[16];
  if (std::strftime(date, sizeof date, "%Y-%m-%d", &local) == 0) return std::nullopt;
  const std::optional<std::int32_t> endDay = dayFromIsoDate(date);
  if (!endDay) return std::nullopt;
  const std::int32_t endMs = ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + 999;
  return firstReadingDay(table, *endDay, endMs);
}

std::variant<TestsOptions, OptionRefused, std::monostate> parse(
    const std::vector<std::string>& args) {
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
      options.judgement.windingTemperatureC = typedTemperature(args[++i]);
      if (!options.judgement.windingTemperatureC) {
        return OptionRefused{"--temperature " + args[i] +
                             ": no temperature from -50 to 200 \u00B0C"};
      }
    } else if (arg == "--rated-kv" && hasValue) {
      options.judgement.ratedKv = typedRatedKv(args[++i]);
      if (!options.judgement.ratedKv) {
        return OptionRefused{"--rated-kv " + args[i] + ": no rated voltage above 0 to 1000 kV"};
      }
    } else if (arg == "--date" && hasValue) {
      options.judgement.firstDay = dayFromIsoDate(args[++i]);
      if (!options.judgement.firstDay) {
        return OptionRefused{"--date " + args[i] + ": no date of the form YYYY-MM-DD"};
      }
    } else if (arg == "--dar" && hasValue) {
      if (!parseDarMarks(args[++i], options.judgement.dar)) return std::monostate{};
    } else if (arg == "--minimum" && hasValue) {
      if (!parseMinimumClass(args[++i], options.judgement)) return std::monostate{};
    } else if (arg == "--thermal-class" && hasValue) {
      if (!parseThermalClass(args[++i], options.judgement.thermalClass)) return std::monostate{};
    } else {
      return std::monostate{};
    }
  }
  if (files.size() != 1) return std::monostate{};
  options.table = files[0];
  return options;
}

}  // namespace

int runTests(const std::vector<std::string>& args) {
  const auto parsed = parse(args);
  if (const auto* refused = std::get_if<OptionRefused>(&parsed)) {
    std::fprintf(stderr, "ostrel-cli tests: %s\n", refused->reason.c_str());
  }
  const auto* options = std::get_if<TestsOptions>(&parsed);
  if (options == nullptr) {
    std::fputs(testsUsage, stderr);
    return 2;
  }
  ReadingsTable table;
  if (!loadTableForCommand(options->table, table).ok()) return 1;
  TestJudgement judgement = options->judgement;
  if (!judgement.firstDay) judgement.firstDay = firstDayFromFile(options->table, table);
  const std::vector<InsulationTest> tests = findInsulationTests(table, judgement);
  const std::string out = options->json ? insulationTestsJson(tests) : insulationTestsText(tests);
  // A report larger than the buffer is written (and fails) inside fwrite: its error stays in
  // the stream's error flag, which fflush of an emptied buffer does not report.
  const bool written = std::fwrite(out.data(), 1, out.size(), stdout) == out.size();
  return written && std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
}

}  // namespace ostrel::cli
