// ostrel-cli tests, run as a separate process: the options reach the verdict, a wrong option
// value is refused with its reason, and the start carries the date.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "RecordTestSupport.h"
#include "tests/cli/ChildProcess.h"

namespace ostrel {
namespace {

using test::ScratchFolder;

// A text table (no test times) of one test at `function`, read every 15 s for 10 min from
// 10:00:00: `r60` MΩ up to 1 min, `r600` MΩ after it.
std::string writeTable(const ScratchFolder& folder, const std::string& r60, const std::string& r600,
                       const char* function = "IR:2500V 100G\xA6\xB8") {
  std::string text = "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n";
  for (int t = 0, no = 1; t <= 600; t += 15, ++no) {
    char line[128];
    std::snprintf(line, sizeof line, "%d\t10:%02d:%02d\t%s\tM\xA6\xB8\t%s\tTimed\r\n", no, t / 60,
                  t % 60, (t <= 60 ? r60 : r600).c_str(), function);
    text += line;
  }
  const std::string name = folder.file("table.txt");
  std::FILE* file = std::fopen(name.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  return name;
}

test::ChildResult tests(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "tests");
  return test::runProgram(OSTREL_CLI, arguments);
}

// The options that choose the minimums reach the verdict: kV + 1 with the rated voltage, and
// the PI minimum of the thermal class.
TEST(TestsCli, OptionsReachTheVerdict) {
  ScratchFolder folder;
  const std::string table = writeTable(folder, "5.0", "15.0");
  struct Case {
    std::vector<std::string> options;
    const char* verdict;
    const char* told;
  };
  const Case cases[] = {
      {{"--minimum", "kv1", "--rated-kv", "6.6"},
       "fail",
       "below the minimum 7.600 M\u03A9 (rated 6.6 kV + 1 M\u03A9)"},
      {{"--minimum", "kv1", "--rated-kv", "3,5"},
       "pass",
       "meets the minimum 4.500 M\u03A9 (rated 3.5 kV + 1 M\u03A9)"},
      {{"--minimum", "kv1"}, "incomplete", "rated voltage unknown"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.end(), {"--json", table});
    const test::ChildResult run = tests(arguments);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(std::string("\"verdict\": \"") + c.verdict + "\""), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(c.told), std::string::npos) << run.out;
  }

  // PI 1.5 passes class A and fails class B.
  const std::string lowPi = writeTable(folder, "200.0", "300.0");
  for (const auto& [thermalClass, verdict] : {std::pair{"A", "pass"}, std::pair{"B", "fail"}}) {
    const test::ChildResult run = tests({"--thermal-class", thermalClass, "--json", lowPi});
    EXPECT_NE(run.out.find(std::string("\"verdict\": \"") + verdict + "\""), std::string::npos)
        << thermalClass << run.out;
  }
}

// A temperature is typed as in the window ("20,5" or "20.5", -50 to 200 °C); a refused value
// says why, and the exit status is 2.
TEST(TestsCli, OptionValuesFollowTheTypedRules) {
  ScratchFolder folder;
  const std::string table = writeTable(folder, "200.0", "500.0");
  for (const char* celsius : {"20,5", "20.5"}) {
    const test::ChildResult run = tests({"--temperature", celsius, "--json", table});
    EXPECT_EQ(run.exitCode, 0) << celsius << run.err;
    EXPECT_NE(run.out.find("measured 200.0 M\u03A9 at 20.5 \u00B0C"), std::string::npos) << run.out;
  }
  struct Refused {
    std::vector<std::string> option;
    const char* told;
  };
  const Refused refused[] = {
      {{"--temperature", "abc"}, "--temperature abc: no temperature from -50 to 200"},
      {{"--temperature", "2e1"}, "--temperature 2e1: no temperature"},
      {{"--temperature", "-60"}, "--temperature -60: no temperature"},
      {{"--rated-kv", "0"}, "--rated-kv 0: no rated voltage"},
      {{"--date", "2026-02-30"}, "--date 2026-02-30: no date"},
  };
  for (const Refused& r : refused) {
    std::vector<std::string> arguments = r.option;
    arguments.push_back(table);
    const test::ChildResult run = tests(arguments);
    EXPECT_EQ(run.exitCode, 2) << r.told;
    EXPECT_NE(run.err.find(r.told), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());
  }
}

// The start is a date and time: the date given, or else the file's modification date (the
// last reading was taken before the file was written).
TEST(TestsCli, TheStartCarriesTheDate) {
  ScratchFolder folder;
  const std::string table = writeTable(folder, "200.0", "500.0");
  test::ChildResult run = tests({"--date", "2026-06-15", "--json", table});
  EXPECT_NE(run.out.find("\"start\": \"2026-06-15T10:00:00\""), std::string::npos) << run.out;
  run = tests({"--date", "2026-06-15", table});
  EXPECT_NE(run.out.find(" 2026-06-15 10:00:00 "), std::string::npos) << run.out;

  // Written at 12:00 on 10 March (local time): its readings of 10:00 are of that day; written
  // at 09:00 on 11 March, of the day before.
  for (const auto& [day, hour, expected] :
       {std::tuple{10, 12, "2026-03-10T10:00:00"}, std::tuple{11, 9, "2026-03-10T10:00:00"},
        std::tuple{12, 10, "2026-03-11T10:00:00"}}) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 2;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_isdst = -1;
    const std::time_t written = std::mktime(&local);
    const utimbuf times{written, written};
    ASSERT_EQ(::utime(table.c_str(), &times), 0);
    run = tests({"--json", table});
    EXPECT_NE(run.out.find(std::string("\"start\": \"") + expected + "\""), std::string::npos)
        << run.out;
  }
}

}  // namespace
}  // namespace ostrel
