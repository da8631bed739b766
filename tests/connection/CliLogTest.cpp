#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <string>

#include "record/ReadingsTable.h"
#include "record/TableFiles.h"

namespace {

QProcess* startLog(const QStringList& args) {
  auto* process = new QProcess;
  process->start(QStringLiteral(OSTREL_CLI_PATH), QStringList{"log"} + args);
  return process;
}

TEST(CliLog, DemoRecordsUntilSigtermAndTheFileLoadsWithEveryRecord) {
  QTemporaryDir dir;
  const QString out = dir.filePath("log.txt");
  std::unique_ptr<QProcess> process(startLog({"--demo", "--out", out}));
  ASSERT_TRUE(process->waitForStarted());
  process->waitForFinished(3500);  // records for a while
  ASSERT_EQ(process->state(), QProcess::Running);
  ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
  ASSERT_TRUE(process->waitForFinished(5000));
  EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process->exitCode(), 0);

  const std::string err = process->readAllStandardError().toStdString();
  EXPECT_NE(err.find("00 60 09 00 00 03 00 00 00 00 "), std::string::npos);
  ostrel::ReadingsTable table;
  ASSERT_TRUE(ostrel::LoadTableFromFile(out.toStdString(), table, true).ok);
  ASSERT_GE(table.recordCount(), 2u);
  EXPECT_NE(err.find(std::to_string(table.recordCount()) + " records written"), std::string::npos);
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    EXPECT_EQ(table.no(row), static_cast<int>(row) + 1);
  }
}

TEST(CliLog, LimitEndsTheRecording) {
  QTemporaryDir dir;
  const QString out = dir.filePath("log.txt");
  std::unique_ptr<QProcess> process(startLog({"--demo", "--out", out, "--limit", "3"}));
  ASSERT_TRUE(process->waitForFinished(15000));
  EXPECT_EQ(process->exitCode(), 0);
  ostrel::ReadingsTable table;
  ASSERT_TRUE(ostrel::LoadTableFromFile(out.toStdString(), table, true).ok);
  EXPECT_EQ(table.recordCount(), 3u);
}

std::string fileBytes(const QString& name) {
  QFile file(name);
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// A full disk (here a file size limit on the command) in the middle of a record: the file
// is cut back to its whole records, the count printed is theirs, and the command fails.
TEST(CliLog, AFullDiskLeavesOnlyWholeRecords) {
  QTemporaryDir dir;
  const QString out = dir.filePath("log.txt");
  QProcess process;
  process.setChildProcessModifier([] {
    const rlimit limit{200, 200};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  process.start(QStringLiteral(OSTREL_CLI_PATH), {"log", "--demo", "--out", out});
  ASSERT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 1);

  const std::string bytes = fileBytes(out);
  ASSERT_TRUE(bytes.ends_with("\r\n")) << bytes;
  ostrel::ReadingsTable table;
  ASSERT_TRUE(ostrel::LoadTableFromFile(out.toStdString(), table, true).ok);
  ASSERT_GE(table.recordCount(), 1U);
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    EXPECT_TRUE(table.text(row, ostrel::ReadingsTable::I_Range).has_value()) << "a cut record";
  }
  const std::string err = process.readAllStandardError().toStdString();
  EXPECT_NE(err.find("\n" + std::to_string(table.recordCount()) + " records written"),
            std::string::npos)
      << err;
}

// Two loggers on one file would interleave their records: the second is refused at once
// and the file stays the first one's.
TEST(CliLog, ASecondLoggerOnTheSameFileIsRefused) {
  QTemporaryDir dir;
  const QString out = dir.filePath("log.txt");
  std::unique_ptr<QProcess> first(startLog({"--demo", "--out", out}));
  ASSERT_TRUE(first->waitForStarted());
  const auto lines = [](const std::string& bytes) {
    return std::count(bytes.begin(), bytes.end(), '\n');
  };
  for (int waited = 0; waited < 100 && lines(fileBytes(out)) < 2; ++waited) {
    first->waitForFinished(100);
  }
  const std::string before = fileBytes(out);
  ASSERT_GE(lines(before), 2) << "the first logger recorded nothing";

  std::unique_ptr<QProcess> second(startLog({"--demo", "--out", out}));
  const bool ended = second->waitForFinished(10000);
  if (!ended) second->kill();
  EXPECT_TRUE(ended) << "the second logger runs";
  EXPECT_EQ(second->exitCode(), 1);
  const std::string err = second->readAllStandardError().toStdString();
  EXPECT_NE(err.find("in use by another logger"), std::string::npos) << err;
  EXPECT_TRUE(fileBytes(out).starts_with(before));

  ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
  ASSERT_TRUE(first->waitForFinished(5000));
  EXPECT_EQ(first->exitCode(), 0);
  ostrel::ReadingsTable table;
  ASSERT_TRUE(ostrel::LoadTableFromFile(out.toStdString(), table, true).ok);
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    EXPECT_EQ(table.no(row), static_cast<int>(row) + 1);
  }
}

struct FailCase {
  const char* name;
  QStringList args;
  int exitCode;
  const char* message;
};

class CliLogFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(CliLogFailure, ExitsWithAClearError) {
  std::unique_ptr<QProcess> process(startLog(GetParam().args));
  ASSERT_TRUE(process->waitForFinished(10000));
  EXPECT_EQ(process->exitCode(), GetParam().exitCode);
  const std::string err = process->readAllStandardError().toStdString();
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
