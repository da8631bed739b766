// ostrel-cli convert, run as a separate process.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "RecordTestSupport.h"

namespace ostrel {
namespace {

using test::ScratchFolder;

struct CliRun {
  int status;
  std::string stdoutText;
  std::string stderrText;
};

CliRun convert(const ScratchFolder& folder, const std::string& in, const std::string& out) {
  const std::string errFile = folder.file("stderr.log");
  const std::string command = std::string("'") + OSTREL_CLI + "' convert '" + in + "' '" + out +
                              "' 2>'" + errFile + "'";
  CliRun run{};
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.stdoutText += buffer;
  run.status = WEXITSTATUS(::pclose(pipe));
  run.stderrText = test::readBytes(errFile);
  std::filesystem::remove(errFile);
  return run;
}

TEST(ConvertCli, TextToPacketAndBack) {
  ScratchFolder folder;
  const std::string packet = folder.file("readings.xml");
  CliRun run = convert(folder, test::fixturePath("readings.xls"), packet);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.stdoutText, "");
  EXPECT_EQ(run.stderrText, "");
  EXPECT_NE(test::readBytes(packet).find("<ROW RowState=\"4\" No=\"2\" Time=\"09:05:03000\" "
                                         "Value=\"0.56\" Unit=\"NULL\""),
            std::string::npos);
  run = convert(folder, packet, folder.file("back.txt"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(test::readBytes(folder.file("back.txt")),
            test::readBytes(test::fixturePath("readings.xls")));
  run = convert(folder, test::fixturePath("readings.xml"), folder.file("same.xml"));
  EXPECT_EQ(test::readBytes(folder.file("same.xml")),
            test::readBytes(test::fixturePath("readings.xml")));
}

TEST(ConvertCli, WritesAWorkbookButNeverReadsOne) {
  ScratchFolder folder;
  const std::string workbook = folder.file("readings.xlsx");
  CliRun run = convert(folder, test::fixturePath("readings.xls"), workbook);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.stderrText, "");
  EXPECT_EQ(test::readBytes(workbook).substr(0, 4), "PK\x03\x04");
  run = convert(folder, workbook, folder.file("back.xls"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.stderrText, "Failed to Load File!\n");
  EXPECT_FALSE(std::filesystem::exists(folder.file("back.xls")));
}

TEST(ConvertCli, LoadFailureWritesNothing) {
  ScratchFolder folder;
  test::writeBytes(folder.file("bad.txt"), "header\r\nnot a record\r\n");
  const CliRun run = convert(folder, folder.file("bad.txt"), folder.file("out.xml"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.stderrText, "Failed to Load File!\n");
  EXPECT_FALSE(std::filesystem::exists(folder.file("out.xml")));
}

TEST(ConvertCli, SaveFailureIsReported) {
  ScratchFolder folder;
  test::writeBytes(folder.file("plain"), "x");
  const std::string out = folder.file("plain/out.txt");
  const CliRun run = convert(folder, test::fixturePath("readings.xml"), out);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.stderrText, "Could not save table to specified file: " + out + "\n");
}

}  // namespace
}  // namespace ostrel
