// ostrel-cli convert, run as a separate process.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <vector>

#include <filesystem>
#include <string>

#include "RecordTestSupport.h"
#include "tests/cli/ChildProcess.h"

namespace ostrel {
namespace {

using test::ScratchFolder;

struct CliRun {
  int status;
  std::string stdoutText;
  std::string stderrText;
};

// A command that waits (on a FIFO, say) is killed after 20 s and has no exit status (-1).
CliRun convert(const std::string& in, const std::string& out) {
  const test::ChildResult run = test::runProgram(
      OSTREL_CLI, {"convert", in, out}, test::ChildOptions().withTimeout(std::chrono::seconds(20)));
  return {run.exitCode, run.out, run.err};
}

TEST(ConvertCli, TextToPacketAndBack) {
  ScratchFolder folder;
  const std::string packet = folder.file("readings.xml");
  CliRun run = convert(test::fixturePath("readings.xls"), packet);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.stdoutText, "");
  EXPECT_EQ(run.stderrText, "");
  EXPECT_NE(test::readBytes(packet).find("<ROW RowState=\"4\" No=\"2\" Time=\"09:05:03000\" "
                                         "Value=\"0.56\" Unit=\"NULL\""),
            std::string::npos);
  run = convert(packet, folder.file("back.txt"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(test::readBytes(folder.file("back.txt")),
            test::readBytes(test::fixturePath("readings.xls")));
  run = convert(test::fixturePath("readings.xml"), folder.file("same.xml"));
  EXPECT_EQ(test::readBytes(folder.file("same.xml")),
            test::readBytes(test::fixturePath("readings.xml")));
}

TEST(ConvertCli, WritesAWorkbookButNeverReadsOne) {
  ScratchFolder folder;
  const std::string workbook = folder.file("readings.xlsx");
  CliRun run = convert(test::fixturePath("readings.xls"), workbook);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.stderrText, "");
  EXPECT_EQ(test::readBytes(workbook).substr(0, 4), "PK\x03\x04");
  run = convert(workbook, folder.file("back.xls"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.stderrText, "Failed to Load File!\n");
  EXPECT_FALSE(std::filesystem::exists(folder.file("back.xls")));
}

TEST(ConvertCli, LoadFailureWritesNothing) {
  ScratchFolder folder;
  test::writeBytes(folder.file("bad.txt"), "header\r\nnot a record\r\n");
  const CliRun run = convert(folder.file("bad.txt"), folder.file("out.xml"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.stderrText, "Failed to Load File!\n");
  EXPECT_FALSE(std::filesystem::exists(folder.file("out.xml")));
}

TEST(ConvertCli, SaveFailureIsReported) {
  ScratchFolder folder;
  test::writeBytes(folder.file("plain"), "x");
  const std::string out = folder.file("plain/out.txt");
  const CliRun run = convert(test::fixturePath("readings.xml"), out);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.stderrText, "Could not save table to specified file: " + out + "\n");
}

TEST(ConvertCli, RefusesFifosAtOnce) {
  ScratchFolder folder;
  const std::string fifo = folder.file("fifo.xls");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  CliRun run = convert(fifo, folder.file("o.xml"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.stderrText, "Failed to Load File!\n");
  run = convert(test::fixturePath("readings.xml"), fifo);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.stderrText, "Could not save table to specified file: " + fifo + "\n");
}

std::vector<std::string> namesIn(const ScratchFolder& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// SIGTERM while the output's temporary file is being written: the command ends by the
// signal, and neither a temporary file nor a partial output is left. The command is
// stopped the moment its temporary file shows, so the signal surely comes in time.
TEST(ConvertCli, SigtermLeavesNoTemporaryFile) {
  ScratchFolder folder;
  std::string table = "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n";
  for (int i = 1; i <= 200'000; ++i) {
    table +=
        std::to_string(i) + "\t10:00:00\t1.234\tM\xA6\xB8\tIR:500V 20G\xA6\xB8\tContinuous\r\n";
  }
  test::writeBytes(folder.file("in.xls"), table);
  const std::vector<std::string> before = {"in.xls"};
  for (int attempt = 0; attempt < 5; ++attempt) {
    test::ChildProcess child(OSTREL_CLI,
                             {"convert", folder.file("in.xls"), folder.file("out.xml")});
    bool caught = false;
    while (child.running()) {
      if (namesIn(folder).size() == 1) continue;
      child.sendSignal(SIGSTOP);
      const std::vector<std::string> names = namesIn(folder);
      caught = names.size() == 2 && names[1] != "out.xml";
      if (caught) child.sendSignal(SIGTERM);
      child.sendSignal(SIGCONT);
      ASSERT_TRUE(child.waitForExit(std::chrono::seconds(60)));
      break;
    }
    if (!caught) {
      std::filesystem::remove(folder.file("out.xml"));
      continue;  // finished before its temporary file was seen: try again
    }
    EXPECT_EQ(child.result().signal, SIGTERM) << child.result().exitCode;
    EXPECT_EQ(namesIn(folder), before);
    return;
  }
  GTEST_SKIP() << "the temporary file was never seen while the command ran";
}

// ostrel-cli tests over a text table without test times: a 1000 V test read every 5 s for
// 10 minutes (R doubling from 1 to 10 min), then a recording journal whose seventh cells carry
// the meter's timer.
TEST(TestsCli, FindsTheTestsOfATextTableAndOfAJournal) {
  ScratchFolder folder;
  std::string text = "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n";
  std::string journal = text;
  for (int t = 0, no = 1; t <= 600; t += 5, ++no) {
    char line[128];
    const double mohm = t < 60 ? 100.0 + t : t < 600 ? 160.0 : 320.0;
    std::snprintf(line, sizeof line,
                  "%d\t10:%02d:%02d\t%.1f\tM\xA6\xB8\tIR:1000V 40G\xA6\xB8\tTimed", no, t / 60,
                  t % 60, mohm);
    text += std::string(line) + "\r\n";
    journal += std::string(line) + "\t" + std::to_string(t) + "\r\n";
  }
  const std::string table = folder.file("test.txt");
  const std::string left = folder.file("recording-x.txt");
  {
    std::FILE* file = std::fopen(table.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    file = std::fopen(left.c_str(), "wb");
    std::fwrite(journal.data(), 1, journal.size(), file);
    std::fclose(file);
  }
  for (const std::string& name : {table, left}) {
    const test::ChildResult run =
        test::runProgram(OSTREL_CLI, {"tests", "--json", "--temperature", "30", name});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(
        run.out.find("\"test\": 1, \"function\": \"IR:1000V 40G\u03A9\", \"voltage_v\": 1000, "
                     "\"start\": \"10:00:00\", \"duration_s\": 600, \"readings\": 121, "
                     "\"r15_ohm\": 115000000, \"r30_ohm\": 130000000, \"r60_ohm\": 160000000, "
                     "\"r600_ohm\": 320000000, \"r60_40c_ohm\": 80000000, \"dar\": "),
        std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\"pi\": 2, \"meter_pi\": null, \"min_ohm\": 100000000, "
                           "\"verdict\": \"fail\""),
              std::string::npos)
        << run.out;
  }
  const test::ChildResult readable = test::runProgram(OSTREL_CLI, {"tests", table});
  EXPECT_EQ(readable.exitCode, 0);
  EXPECT_NE(readable.out.find("PI 2.00 meets the minimum 2.0 for class B"), std::string::npos)
      << readable.out;
  EXPECT_EQ(test::runProgram(OSTREL_CLI, {"tests", "--dar", "30/60", table}).exitCode, 2);
  EXPECT_EQ(test::runProgram(OSTREL_CLI, {"tests", "--minimum", "big", table}).exitCode, 2);
  EXPECT_EQ(test::runProgram(OSTREL_CLI, {"tests", folder.file("missing.txt")}).exitCode, 1);
}

}  // namespace
}  // namespace ostrel
