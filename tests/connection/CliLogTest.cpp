#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "record/ReadingsTable.h"
#include "record/TableFiles.h"
#include "tests/cli/ChildProcess.h"

namespace {

using namespace std::chrono_literals;
using ostrel::test::ChildOptions;
using ostrel::test::ChildProcess;

std::unique_ptr<ChildProcess> startLog(const std::vector<std::string>& args,
                                       ChildOptions options = {}) {
  std::vector<std::string> arguments{"log"};
  arguments.insert(arguments.end(), args.begin(), args.end());
  return std::make_unique<ChildProcess>(OSTREL_CLI_PATH, arguments, std::move(options));
}

TEST(CliLog, DemoRecordsUntilSigtermAndTheFileLoadsWithEveryRecord) {
  QTemporaryDir dir;
  const std::string out = dir.filePath("log.txt").toStdString();
  std::unique_ptr<ChildProcess> process(startLog({"--demo", "--out", out}));
  process->waitForExit(3500ms);  // records for a while
  ASSERT_TRUE(process->running());
  process->sendSignal(SIGTERM);
  ASSERT_TRUE(process->waitForExit(5000ms));
  EXPECT_TRUE(process->result().exited());
  EXPECT_EQ(process->result().exitCode, 0);

  const std::string err = process->result().err;
  EXPECT_NE(err.find("00 60 09 00 00 03 00 00 00 00 "), std::string::npos);
  ostrel::ReadingsTable table;
  ASSERT_TRUE(ostrel::LoadTableFromFile(out, table, true).ok);
  ASSERT_GE(table.recordCount(), 2u);
  EXPECT_NE(err.find(std::to_string(table.recordCount()) + " records written"), std::string::npos);
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    EXPECT_EQ(table.no(row), static_cast<int>(row) + 1);
  }
}

TEST(CliLog, LimitEndsTheRecording) {
  QTemporaryDir dir;
  const std::string out = dir.filePath("log.txt").toStdString();
  std::unique_ptr<ChildProcess> process(startLog({"--demo", "--out", out, "--limit", "3"}));
  ASSERT_TRUE(process->waitForExit(15000ms));
  EXPECT_EQ(process->result().exitCode, 0);
  ostrel::ReadingsTable table;
  ASSERT_TRUE(ostrel::LoadTableFromFile(out, table, true).ok);
  EXPECT_EQ(table.recordCount(), 3u);
}

std::string fileBytes(const std::string& name) {
  QFile file(QString::fromStdString(name));
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// A full disk (here a file size limit on the command) in the middle of a record: the file
// is cut back to its whole records, the count printed is theirs, and the command fails.
TEST(CliLog, AFullDiskLeavesOnlyWholeRecords) {
  QTemporaryDir dir;
  const std::string out = dir.filePath("log.txt").toStdString();
  std::unique_ptr<ChildProcess> process(
      startLog({"--demo", "--out", out}, ChildOptions().withChildSetup([] {
        const rlimit limit{200, 200};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      })));
  ASSERT_TRUE(process->waitForExit(30000ms));
  EXPECT_TRUE(process->result().exited());
  EXPECT_EQ(process->result().exitCode, 1);

  const std::string bytes = fileBytes(out);
  ASSERT_TRUE(bytes.ends_with("\r\n")) << bytes;
  ostrel::ReadingsTable table;
  ASSERT_TRUE(ostrel::LoadTableFromFile(out, table, true).ok);
  ASSERT_GE(table.recordCount(), 1U);
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    EXPECT_TRUE(table.text(row, ostrel::ReadingsTable::I_Range).has_value()) << "a cut record";
  }
  const std::string err = process->result().err;
  EXPECT_NE(err.find("\n" + std::to_string(table.recordCount()) + " records written"),
            std::string::npos)
      << err;
}

// Two loggers on one file would interleave their records: the second is refused at once
// and the file stays the first one's.
TEST(CliLog, ASecondLoggerOnTheSameFileIsRefused) {
  QTemporaryDir dir;
  const std::string out = dir.filePath("log.txt").toStdString();
  std::unique_ptr<ChildProcess> first(startLog({"--demo", "--out", out}));
  const auto lines = [](const std::string& bytes) {
    return std::count(bytes.begin(), bytes.end(), '\n');
  };
  for (int waited = 0; waited < 100 && lines(fileBytes(out)) < 2; ++waited) {
    first->waitForExit(100ms);
  }
  const std::string before = fileBytes(out);
  ASSERT_GE(lines(before), 2) << "the first logger recorded nothing";

  std::unique_ptr<ChildProcess> second(startLog({"--demo", "--out", out}));
  const bool ended = second->waitForExit(10000ms);
  if (!ended) second->sendSignal(SIGKILL);
  EXPECT_TRUE(ended) << "the second logger runs";
  EXPECT_EQ(second->result().exitCode, 1);
  const std::string err = second->result().err;
  EXPECT_NE(err.find("in use by another logger"), std::string::npos) << err;
  EXPECT_TRUE(fileBytes(out).starts_with(before));

  first->sendSignal(SIGTERM);
  ASSERT_TRUE(first->waitForExit(5000ms));
  EXPECT_EQ(first->result().exitCode, 0);
  ostrel::ReadingsTable table;
  ASSERT_TRUE(ostrel::LoadTableFromFile(out, table, true).ok);
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    EXPECT_EQ(table.no(row), static_cast<int>(row) + 1);
  }
}

struct FailCase {
  const char* name;
  std::vector<std::string> args;
  int exitCode;
  const char* message;
};
void PrintTo(const FailCase& c, std::ostream* out) { *out << c.name; }

class CliLogFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(CliLogFailure, ExitsWithAClearError) {
  std::unique_ptr<ChildProcess> process(startLog(GetParam().args));
  ASSERT_TRUE(process->waitForExit(10000ms));
  EXPECT_EQ(process->result().exitCode, GetParam().exitCode);
  const std::string err = process->result().err;
  EXPECT_NE(err.find(GetParam().message), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliLogFailure,
    ::testing::Values(
        FailCase{"UnwritableFile",
                 {"--demo", "--out", "/nonexistent-dir/log.txt"},
                 1,
                 "cannot write /nonexistent-dir/log.txt"},
        FailCase{"NoSuchDevice",
                 {"--device", "/dev/hidraw-none", "--out", "/tmp/x.txt"},
                 1,
                 "no HID device at /dev/hidraw-none"},
        FailCase{"NoOutput", {"--demo"}, 2, "usage: ostrel-cli log"},
        FailCase{"BadLimit", {"--demo", "--out", "/tmp/x.txt", "--limit", "0"}, 2, "usage"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
