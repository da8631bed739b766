// A million records of many short tests converted to a workbook: every member of it, the
// Tests sheet larger than any limit a member once had included, is read back before the
// workbook replaces anything. Slow (about a minute): label `long`.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "RecordTestSupport.h"
#include "tests/cli/ChildProcess.h"

namespace ostrel {
namespace {

// A text table of a million records: tests of three readings each, the function alternating
// between two test voltages, values as numbers, over range and texts, one record a second.
void writeMixedTable(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n", file);
  for (int i = 0; i < 1'000'000; ++i) {
    const int second = i % 86'400;
    const bool high = (i / 3) % 2 == 1;
    char value[16];
    if (i % 97 == 0) {
      std::snprintf(value, sizeof value, "OL");
    } else if (i % 89 == 0) {
      std::snprintf(value, sizeof value, "----");
    } else {
      std::snprintf(value, sizeof value, "%d.%d", 100 + i % 900, i % 10);
    }
    std::fprintf(file, "%d\t%02d:%02d:%02d\t%s\tM\xA6\xB8\t%s\t%s\r\n", i + 1, second / 3600,
                 second / 60 % 60, second % 60, value,
                 high ? "IR:1000V 40G\xA6\xB8" : "IR:500V 20G\xA6\xB8",
                 i % 2 == 0 ? "Timed" : "Continuous");
  }
  ASSERT_EQ(std::fclose(file), 0);
}

// The size of a sheet as openpyxl reads it, and its first row (workbook_cells.py --first 1).
std::string sheetShape(const std::string& path, const std::string& sheet) {
  const test::ChildResult run = test::runProgram(
      OSTREL_PYTHON3, {OSTREL_WORKBOOK_CELLS, path, "--sheet", sheet, "--first", "1"});
  return run.exitCode == 0 ? run.out : "unreadable (" + std::to_string(run.exitCode) + ")";
}

TEST(LongWorkbook, AMillionRecordsOfShortTestsConvertAndReadBack) {
  test::ScratchFolder folder;
  const std::string table = folder.file("mixed.xls");
  writeMixedTable(table);
  const std::string workbook = folder.file("mixed.xlsx");
  const test::ChildResult run =
      test::runProgram(OSTREL_CLI, {"convert", table, workbook},
                       test::ChildOptions().withTimeout(std::chrono::seconds(600)));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");

  const std::string readings = sheetShape(workbook, "Readings");
  if (readings == "unreadable (77)") GTEST_SKIP() << "python3-openpyxl is not installed";
  EXPECT_EQ(readings.rfind("rows: 1000001, columns: 7\nrow elements: 1000001, last: 1000001\n"
                           "s:Measurement No.\t",
                           0),
            0U)
      << readings;
  // A row for each test of three readings, and the header.
  const std::string tests = sheetShape(workbook, "Tests");
  EXPECT_EQ(tests.rfind("rows: 333335, columns: 17\nrow elements: 333335, last: 333335\n"
                        "s:Test\ts:Function\t",
                        0),
            0U)
      << tests;
}

}  // namespace
}  // namespace ostrel
