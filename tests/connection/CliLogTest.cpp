#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
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
        FailCase{"UnwritableFile", {"--demo", "--out", "/nonexistent-dir/log.txt"}, 1,
                 "cannot write /nonexistent-dir/log.txt"},
        FailCase{"NoSuchDevice", {"--device", "/dev/hidraw-none", "--out", "/tmp/x.txt"}, 1,
                 "no HID device at /dev/hidraw-none"},
        FailCase{"NoOutput", {"--demo"}, 2, "usage: ostrel-cli log"},
        FailCase{"BadLimit", {"--demo", "--out", "/tmp/x.txt", "--limit", "0"}, 2, "usage"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
