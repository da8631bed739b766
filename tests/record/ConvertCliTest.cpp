// ostrel-cli convert, run as a separate process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <vector>

#include <filesystem>
#include <string>

#include "RecordTestSupport.h"
#include "record/JournalWriter.h"
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
  EXPECT_EQ(run.stderrText,
            "Failed to Load File!\n" + workbook + ": a workbook (written only, never read)\n");
  EXPECT_FALSE(std::filesystem::exists(folder.file("back.xls")));
}

TEST(ConvertCli, LoadFailureWritesNothing) {
  ScratchFolder folder;
  test::writeBytes(folder.file("bad.txt"), "header\r\nnot a record\r\n");
  const CliRun run = convert(folder.file("bad.txt"), folder.file("out.xml"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.stderrText,
            "Failed to Load File!\n" + folder.file("bad.txt") + ": damaged at line 2 (byte 8)\n");
  EXPECT_FALSE(std::filesystem::exists(folder.file("out.xml")));
}

// A load failure names its reason on the line after the window's message; the other commands
// that load a table say the same.
TEST(ConvertCli, LoadFailuresNameTheirReason) {
  ScratchFolder folder;
  const std::string header = "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n";
  const std::string record = "1\t10:00:00\t1.234\tM\xA6\xB8\tIR:500V 20G\xA6\xB8\tContinuous";
  test::writeBytes(folder.file("empty.xls"), "");
  // Lines end in CR LF, LF or a lone CR; the fourth line has no time.
  const std::string damaged =
      header + record + "\n" + record + "\r" + "2\t\t1\tV\tx\ty\r\n" + record;
  test::writeBytes(folder.file("damaged.xls"), damaged);
  const std::string damagedReason =
      "damaged at line 4 (byte " + std::to_string(damaged.find("2\t\t1") + 2) + ")";
  const std::string nul = header + record + "\r\n" + std::string(1, '\0');
  test::writeBytes(folder.file("nul.xls"), nul);
  const std::string nulReason = "damaged at line 3 (byte " + std::to_string(nul.size() - 1) + ")";
  test::writeBytes(folder.file("cut.xml"), "<?xml version=\"1.0\"?><DATAPACKET><METADATA>");
  test::writeBytes(folder.file("other.xml"), "<?xml version=\"1.0\"?><html/>");
  std::filesystem::create_directory(folder.file("folder.xls"));
  ASSERT_EQ(::mkfifo(folder.file("fifo.xls").c_str(), 0600), 0);
  // A device node of the test's own (the null device's numbers), never the machine's.
  const bool device =
      ::mknod(folder.file("device.xls").c_str(), S_IFCHR | 0600, ::makedev(1, 3)) == 0;
  struct Case {
    const char* name;
    std::string reason;
  };
  const Case cases[] = {
      {"missing.xls", "no such file"},
      {"folder.xls", "a folder"},
      {"fifo.xls", "a FIFO"},
      {"device.xls", "a device"},
      {"empty.xls", "empty"},
      {"damaged.xls", damagedReason},
      {"nul.xls", nulReason},
      {"cut.xml", "Start-end tags mismatch at byte 42"},
      {"other.xml", "not a data packet: its root element is no DATAPACKET"},
  };
  for (const Case& c : cases) {
    if (std::string_view(c.name) == "device.xls" && !device) continue;  // no right to mknod
    SCOPED_TRACE(c.name);
    const std::string in = folder.file(c.name);
    const CliRun run = convert(in, folder.file("out.xml"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.stderrText, "Failed to Load File!\n" + in + ": " + c.reason + "\n");
    EXPECT_FALSE(std::filesystem::exists(folder.file("out.xml")));
  }
  const std::string in = folder.file("damaged.xls");
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"report", in, folder.file("out.csv")},
        std::vector<std::string>{"chart", in, folder.file("out.png")},
        std::vector<std::string>{"tests", in}}) {
    SCOPED_TRACE(command.front());
    const test::ChildResult run = test::runProgram(
        OSTREL_CLI, command, test::ChildOptions().withVariable("QT_QPA_PLATFORM", "offscreen"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Failed to Load File!\n" + in + ": " + damagedReason + "\n");
  }
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
  EXPECT_EQ(run.stderrText, "Failed to Load File!\n" + fifo + ": a FIFO\n");
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

// A text table of `count` records, as "Save Data" writes it in the C locale.
std::string textTable(int count) {
  std::string table = "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n";
  for (int i = 1; i <= count; ++i) {
    table +=
        std::to_string(i) + "\t10:00:00\t1.234\tM\xA6\xB8\tIR:500V 20G\xA6\xB8\tContinuous\r\n";
  }
  return table;
}

// The size of a workbook's sheet as openpyxl reads it (workbook_cells.py --first 0).
std::string workbookShape(const std::string& path) {
  const test::ChildResult run =
      test::runProgram(OSTREL_PYTHON3, {OSTREL_WORKBOOK_CELLS, path, "--first", "0"});
  return run.exitCode == 0 ? run.out : "unreadable (" + std::to_string(run.exitCode) + ")";
}

// A workbook is written whole or not at all, whatever stops the writes of the workbook
// library's temporary files: under a file size limit (each write beyond it fails with
// EFBIG, SIGXFSZ being ignored) the save fails with the reason, the old workbook stays and
// no temporary file is left. The limit lets the finished (compressed) workbook through but
// not the library's uncompressed copy of the sheet.
TEST(ConvertCli, AFileSizeLimitFailsAWorkbookSaveAndKeepsTheOldOne) {
  ScratchFolder folder;
  test::writeBytes(folder.file("in.xls"), textTable(20'000));
  const std::string workbook = folder.file("old.xlsx");
  ASSERT_EQ(convert(test::fixturePath("readings.xls"), workbook).status, 0);
  const std::string oldShape = workbookShape(workbook);
  if (oldShape == "unreadable (77)") GTEST_SKIP() << "python3-openpyxl is not installed";
  ASSERT_EQ(oldShape.rfind("rows: 4,", 0), 0U) << oldShape;
  const std::string oldBytes = test::readBytes(workbook);

  const test::ChildResult limited =
      test::runProgram(OSTREL_CLI, {"convert", folder.file("in.xls"), workbook},
                       test::ChildOptions().withChildSetup([] {
                         const rlimit limit{256 * 1024, 256 * 1024};
                         ::setrlimit(RLIMIT_FSIZE, &limit);
                       }));
  EXPECT_EQ(limited.signal, 0);
  EXPECT_EQ(limited.exitCode, 1);
  EXPECT_EQ(limited.err.rfind("Could not save table to specified file: " + workbook + "\n", 0), 0U)
      << limited.err;
  EXPECT_TRUE(test::readBytes(workbook) == oldBytes);
  EXPECT_EQ(workbookShape(workbook), oldShape);
  EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"in.xls", "old.xlsx"}));

  // Without the limit the same table is written whole.
  ASSERT_EQ(convert(folder.file("in.xls"), workbook).status, 0);
  EXPECT_EQ(workbookShape(workbook).rfind("rows: 20001, columns: 7\n", 0), 0U)
      << workbookShape(workbook);
}

// A full temporary folder (TMPDIR on a 64 KB file system of its own, in a private mount
// namespace) does not touch a workbook save: the workbook library keeps its temporary
// files beside the workbook, and the workbook holds every row.
TEST(ConvertCli, AFullTemporaryFolderDoesNotCutTheWorkbook) {
  ScratchFolder folder;
  test::writeBytes(folder.file("in.xls"), textTable(20'000));
  std::filesystem::create_directory(folder.file("tmp"));
  static std::string tmpfs;  // read by the child before exec
  tmpfs = folder.file("tmp");
  const test::ChildResult run =
      test::runProgram(OSTREL_CLI, {"convert", folder.file("in.xls"), folder.file("out.xlsx")},
                       test::ChildOptions().withVariable("TMPDIR", tmpfs).withChildSetup([] {
                         if (::unshare(CLONE_NEWNS) != 0 ||
                             ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                             ::mount("tmpfs", tmpfs.c_str(), "tmpfs", 0, "size=64k") != 0) {
                           ::_exit(77);
                         }
                       }));
  if (run.exitCode == 77) GTEST_SKIP() << "no private mount namespace here (needs root)";
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const std::string shape = workbookShape(folder.file("out.xlsx"));
  if (shape == "unreadable (77)") GTEST_SKIP() << "python3-openpyxl is not installed";
  EXPECT_EQ(shape.rfind("rows: 20001, columns: 7\n", 0), 0U) << shape;
}

// A file of a gigabyte of NUL bytes (sparse: it takes no disk space) holds no table: it is
// refused as a failure, never loaded as a table of 0 records.
TEST(ConvertCli, AHugeFileOfNulBytesIsRefused) {
  ScratchFolder folder;
  for (const char* name : {"sparse.xls", "sparse.xml"}) {
    const std::string in = folder.file(name);
    test::writeBytes(in, "");
    ASSERT_EQ(::truncate(in.c_str(), off_t{1} << 30), 0);
    const CliRun run = convert(in, folder.file("out.xml"));
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_EQ(run.stderrText,
              "Failed to Load File!\n" + in + ": " +
                  (std::string(name) == "sparse.xls" ? "not a text table"
                                                     : "not a data packet: a NUL byte at byte 0") +
                  "\n");
    EXPECT_FALSE(std::filesystem::exists(folder.file("out.xml"))) << name;
    std::filesystem::remove(in);
  }
}

// True when the process maps the file (its loader has started reading it).
bool mapsFile(pid_t pid, const std::string& path) {
  return test::readBytes("/proc/" + std::to_string(pid) + "/maps").find(path) != std::string::npos;
}

// An input cut short while it is loaded fails the load ("Failed to Load File!", nothing
// written) instead of ending the command with SIGBUS. The command is stopped the moment
// its loader maps the file, so the file is surely cut under it.
TEST(ConvertCli, AnInputCutShortDuringTheLoadFailsIt) {
  ScratchFolder folder;
  const std::string in = folder.file("in.xls");
  for (int attempt = 0; attempt < 5; ++attempt) {
    test::writeBytes(in, textTable(400'000));
    test::ChildProcess child(OSTREL_CLI, {"convert", in, folder.file("out.xml")});
    bool caught = false;
    while (child.running()) {
      if (!mapsFile(child.pid(), in)) continue;
      child.sendSignal(SIGSTOP);
      caught = mapsFile(child.pid(), in);
      if (caught) {
        ASSERT_EQ(::truncate(in.c_str(), 1000), 0);
      }
      child.sendSignal(SIGCONT);
      break;
    }
    ASSERT_TRUE(child.waitForExit(std::chrono::seconds(60)));
    if (!caught) {
      std::filesystem::remove(folder.file("out.xml"));
      continue;  // loaded before the mapping was seen: try again
    }
    EXPECT_EQ(child.result().signal, 0);
    EXPECT_EQ(child.result().exitCode, 1);
    EXPECT_EQ(child.result().err,
              "Failed to Load File!\n" + in + ": cut short while it was read\n");
    EXPECT_FALSE(std::filesystem::exists(folder.file("out.xml")));
    return;
  }
  GTEST_SKIP() << "the load was never caught while it ran";
}

// A SIGBUS sent from outside while the loader has the input mapped is not taken for a file
// cut short: the command ends by the signal, as any program would, and writes nothing.
TEST(ConvertCli, ASigbusSentDuringTheLoadEndsTheCommand) {
  ScratchFolder folder;
  const std::string in = folder.file("in.xls");
  test::writeBytes(in, textTable(400'000));
  for (int attempt = 0; attempt < 5; ++attempt) {
    test::ChildProcess child(OSTREL_CLI, {"convert", in, folder.file("out.xml")});
    bool caught = false;
    while (child.running()) {
      if (!mapsFile(child.pid(), in)) continue;
      child.sendSignal(SIGSTOP);
      caught = mapsFile(child.pid(), in);
      if (caught) child.sendSignal(SIGBUS);
      child.sendSignal(SIGCONT);
      break;
    }
    ASSERT_TRUE(child.waitForExit(std::chrono::seconds(60)));
    if (!caught) {
      std::filesystem::remove(folder.file("out.xml"));
      continue;  // loaded before the mapping was seen: try again
    }
    EXPECT_EQ(child.result().signal, SIGBUS) << child.result().exitCode;
    EXPECT_FALSE(std::filesystem::exists(folder.file("out.xml")));
    return;
  }
  GTEST_SKIP() << "the load was never caught while it ran";
}

// A stop signal (SIGTERM, SIGHUP, SIGINT) while the output's temporary file is being written: the
// command ends by the signal, and neither a temporary file nor a partial output is left. The
// command is stopped the moment its temporary file shows, so the signal surely comes in time.
class ConvertCliStopSignal : public testing::TestWithParam<int> {};

TEST_P(ConvertCliStopSignal, LeavesNoTemporaryFile) {
  const int stopSignal = GetParam();
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
      if (caught) child.sendSignal(stopSignal);
      child.sendSignal(SIGCONT);
      ASSERT_TRUE(child.waitForExit(std::chrono::seconds(60)));
      break;
    }
    if (!caught) {
      std::filesystem::remove(folder.file("out.xml"));
      continue;  // finished before its temporary file was seen: try again
    }
    EXPECT_EQ(child.result().signal, stopSignal) << child.result().exitCode;
    EXPECT_EQ(namesIn(folder), before);
    return;
  }
  GTEST_SKIP() << "the temporary file was never seen while the command ran";
}

INSTANTIATE_TEST_SUITE_P(Signals, ConvertCliStopSignal, testing::Values(SIGTERM, SIGHUP, SIGINT),
                         [](const testing::TestParamInfo<int>& paramInfo) {
                           return std::string(sigabbrev_np(paramInfo.param));
                         });

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
    const test::ChildResult run = test::runProgram(
        OSTREL_CLI, {"tests", "--json", "--temperature", "30", "--date", "2026-06-15", name});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(
        run.out.find("\"test\": 1, \"function\": \"IR:1000V 40G\u03A9\", \"voltage_v\": 1000, "
                     "\"start\": \"2026-06-15T10:00:00\", \"duration_s\": 600, \"readings\": 121, "
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

// The journal the window keeps, written by JournalWriter itself: times with milliseconds, the
// meter's timer as a seventh cell. Every command that loads a table reads it; a text file
// converted from it keeps its six columns.
TEST(JournalCli, EveryCommandThatLoadsATableReadsAJournalTheWindowWrote) {
  ScratchFolder folder;
  const std::string journalFolder = folder.file("journal");
  {
    JournalWriter writer(
        [journalFolder]() -> Result<std::unique_ptr<JournalSink>> {
          Result<std::unique_ptr<JournalFile>> created = JournalFile::create(journalFolder);
          if (!created.ok()) return created;
          return {std::move(created.value())};
        },
        [](const std::string& reason) { FAIL() << reason; });
    // A 1000 V test read every 5 s for 10 minutes, a quarter of a second past each second.
    for (int t = 0, no = 1; t <= 600; t += 5, ++no) {
      char value[16];
      std::snprintf(value, sizeof value, "%.1f", t < 60 ? 100.0 + t : t < 600 ? 160.0 : 320.0);
      writer.append({no, (10 * 3600 + t) * 1000 + 250, value, "M\xA6\xB8", "IR:1000V 40G\xA6\xB8",
                     "Timed", t});
    }
  }  // not finished: the journal stays, as after a crash
  const std::filesystem::directory_iterator files(journalFolder);
  ASSERT_NE(files, std::filesystem::directory_iterator());
  const std::string journal = files->path().string();
  const test::ChildOptions offscreen =
      test::ChildOptions().withVariable("QT_QPA_PLATFORM", "offscreen");

  const test::ChildResult tests = test::runProgram(OSTREL_CLI, {"tests", "--json", journal});
  EXPECT_EQ(tests.exitCode, 0) << tests.err;
  EXPECT_NE(tests.out.find("\"readings\": 121"), std::string::npos) << tests.out;

  ASSERT_EQ(convert(journal, folder.file("out.xml")).status, 0);
  EXPECT_NE(test::readBytes(folder.file("out.xml")).find("No=\"1\" Time=\"10:00:00250\""),
            std::string::npos);
  const CliRun text = convert(journal, folder.file("out.xls"));
  EXPECT_EQ(text.status, 0) << text.stderrText;
  const std::string written = test::readBytes(folder.file("out.xls"));
  EXPECT_EQ(written.substr(0, written.find("\r\n2\t")),
            "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n"
            "1\t10:00:00\t100.0\tM\xA6\xB8\tIR:1000V 40G\xA6\xB8\tTimed");

  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"report", journal, folder.file("out.csv")},
        std::vector<std::string>{"chart", journal, folder.file("out.png")}}) {
    SCOPED_TRACE(command.front());
    const test::ChildResult run = test::runProgram(OSTREL_CLI, command, offscreen);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(command[2]));
  }
}

// ostrel-cli tests whose standard output cannot be written (a full device of the test's own,
// in its folder) fails with status 1, for a short report as for one larger than a buffer.
TEST(TestsCli, AnOutputThatCannotBeWrittenFailsIt) {
  ScratchFolder folder;
  const std::string full = folder.file("full");
  if (::mknod(full.c_str(), S_IFCHR | 0600, ::makedev(1, 7)) != 0) {
    GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
  }
  if (const int fd = ::open(full.c_str(), O_WRONLY | O_CLOEXEC); fd < 0) {
    GTEST_SKIP() << "cannot open a device node here (nodev?): " << std::strerror(errno);
  } else {
    ::close(fd);
  }
  // Tests of 1000 V and 500 V by turns, each read every 5 s for a minute.
  const auto table = [&](int tests) {
    std::string text = "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n";
    for (int test = 0, no = 1; test < tests; ++test) {
      for (int t = 0; t <= 60; t += 5, ++no) {
        char line[128];
        const int second = test * 70 + t;
        std::snprintf(line, sizeof line, "%d\t%02d:%02d:%02d\t%d.0\tM\xA6\xB8\t%s\tTimed\r\n", no,
                      10 + second / 3600, second / 60 % 60, second % 60, 100 + t,
                      test % 2 == 0 ? "IR:1000V 40G\xA6\xB8" : "IR:500V 20G\xA6\xB8");
        text += line;
      }
    }
    const std::string name = folder.file("tests-" + std::to_string(tests) + ".txt");
    std::FILE* file = std::fopen(name.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    return name;
  };
  for (const int tests : {1, 60}) {
    SCOPED_TRACE(std::to_string(tests) + " tests");
    const std::string name = table(tests);
    const test::ChildResult written = test::runProgram(OSTREL_CLI, {"tests", "--json", name});
    ASSERT_EQ(written.exitCode, 0) << written.err;
    if (tests > 1) {
      ASSERT_GT(written.out.size(), 16384U) << "the report fits a buffer";
    }
    const test::ChildResult failed = test::runProgram(
        OSTREL_CLI, {"tests", "--json", name}, test::ChildOptions().withChildSetup([&full] {
          const int fd = ::open(full.c_str(), O_WRONLY);
          if (fd >= 0) ::dup2(fd, STDOUT_FILENO);
        }));
    EXPECT_EQ(failed.exitCode, 1) << failed.err;
  }
}

}  // namespace
}  // namespace ostrel
