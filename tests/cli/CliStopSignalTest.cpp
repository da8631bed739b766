// A stop signal in the middle of a save: every command that replaces a file removes its
// temporary file and leaves the old target as it was. The command runs with StopAtFsync
// preloaded, so it stops itself with all bytes of the new file written and before the
// rename; the test then sends it SIGHUP and lets it go on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/cli/ChildProcess.h"

namespace {

namespace fs = std::filesystem;
using ostrel::test::ChildOptions;
using ostrel::test::ChildProcess;

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The process state letter from /proc/PID/stat ('T' when stopped); '?' when it is gone.
char processState(pid_t pid) {
  const std::string stat = readAll("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t end = stat.rfind(')');
  return end == std::string::npos || end + 2 >= stat.size() ? '?' : stat[end + 2];
}

std::vector<std::string> temporaryFiles(const fs::path& folder) {
  std::vector<std::string> found;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".ostrel-") != std::string::npos) found.push_back(name);
  }
  return found;
}

// A text table of `records` readings (GBK, CRLF), as the window saves it.
std::string textTable(int records) {
  std::string table = "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n";
  for (int i = 1; i <= records; ++i) {
    table += std::to_string(i) + "\t09:00:" + (i % 60 < 10 ? "0" : "") + std::to_string(i % 60) +
             "\t1.234\tM\xA6\xB8\tIR:500V 20G\xA6\xB8\tContinuous\r\n";
  }
  return table;
}

struct SaveCase {
  const char* command;
  const char* target;
};
void PrintTo(const SaveCase& c, std::ostream* out) { *out << c.command << ' ' << c.target; }

class StopSignalDuringSave : public testing::TestWithParam<SaveCase> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ostrel-stop-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder = pattern;
  }
  void TearDown() override { fs::remove_all(folder); }

  fs::path folder;
};

TEST_P(StopSignalDuringSave, RemovesTheTemporaryFileAndKeepsTheOldTarget) {
  const SaveCase c = GetParam();
  const fs::path table = folder / "table.xls";
  const fs::path target = folder / c.target;
  writeAll(table, textTable(300));
  const std::string old = "the user's old file\r\n";
  writeAll(target, old);

  // A sanitizer's runtime asks to come first; the preloaded library is no concern of it.
  std::string asan = "verify_asan_link_order=0";
  if (const char* given = std::getenv("ASAN_OPTIONS")) asan = std::string(given) + ":" + asan;
  ChildProcess child(OSTREL_CLI_PATH, {c.command, table.string(), target.string()},
                     ChildOptions()
                         .withVariable("LD_PRELOAD", OSTREL_STOP_AT_FSYNC)
                         .withVariable("ASAN_OPTIONS", asan)
                         .withVariable("QT_QPA_PLATFORM", "offscreen"));
  while (child.running() && processState(child.pid()) != 'T') {
    child.waitForExit(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(processState(child.pid()), 'T')
      << "never stopped before its rename; status " << child.result().exitCode << ": "
      << child.result().err;
  ASSERT_EQ(temporaryFiles(folder).size(), 1U) << "stopped in the middle of its save";

  child.sendSignal(SIGHUP);
  child.sendSignal(SIGCONT);
  ASSERT_TRUE(child.waitForExit(std::chrono::seconds(60)));
  EXPECT_EQ(child.result().signal, SIGHUP) << child.result().err;
  EXPECT_EQ(temporaryFiles(folder), std::vector<std::string>());
  EXPECT_EQ(readAll(target), old);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, StopSignalDuringSave,
    testing::Values(SaveCase{"convert", "out.txt"}, SaveCase{"convert", "out.xml"},
                    SaveCase{"convert", "out.xlsx"}, SaveCase{"report", "out.pdf"},
                    SaveCase{"report", "out.csv"}, SaveCase{"chart", "out.png"},
                    SaveCase{"chart", "out.bmp"}),
    [](const auto& paramInfo) {
      std::string name = std::string(paramInfo.param.command) + "_" + paramInfo.param.target;
      name[name.find('.')] = '_';
      return name;
    });

}  // namespace
