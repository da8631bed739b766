// Output names are bytes: a name that is not valid UTF-8 is written as given, never as a
// name with its bad bytes replaced.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/cli/ChildProcess.h"

namespace {

namespace fs = std::filesystem;

class OutputName : public testing::TestWithParam<std::vector<std::string>> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ostrel-name-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder = pattern;
    std::ofstream(folder / "table.xls", std::ios::binary)
        << "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n"
           "1\t09:00:01\t1.234\tM\xA6\xB8\tIR:500V 20G\xA6\xB8\tContinuous\r\n";
  }
  void TearDown() override { fs::remove_all(folder); }

  fs::path folder;
};

TEST_P(OutputName, IsWrittenByteForByte) {
  const std::vector<std::string>& command = GetParam();
  const std::string name = "bad\xFF" + command[1];
  const ostrel::test::ChildResult run = ostrel::test::runProgram(
      OSTREL_CLI_PATH, {command[0], (folder / "table.xls").string(), (folder / name).string()},
      ostrel::test::ChildOptions()
          .withVariable("QT_QPA_PLATFORM", "offscreen")
          .withVariable("LC_ALL", "C.UTF-8"));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename() != "table.xls") names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{name});
  EXPECT_GT(fs::file_size(folder / name), 0U);
}

INSTANTIATE_TEST_SUITE_P(Commands, OutputName,
                         testing::Values(std::vector<std::string>{"report", ".txt"},
                                         std::vector<std::string>{"report", ".pdf"},
                                         std::vector<std::string>{"chart", ".png"},
                                         std::vector<std::string>{"convert", ".xml"}),
                         [](const auto& paramInfo) {
                           return paramInfo.param[0] + "_" + paramInfo.param[1].substr(1);
                         });

}  // namespace
