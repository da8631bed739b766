// The recording journal: its file and lock, the writer thread, and reading journals left
// behind by a window that did not end cleanly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "RecordTestSupport.h"
#include "record/JournalFile.h"
#include "record/JournalRecovery.h"
#include "record/JournalWriter.h"
#include "record/TableFiles.h"

namespace ostrel::test {

namespace {

namespace fs = std::filesystem;

const std::string& header() { return JournalFile::headerLine(); }

const std::string line1 = "1\t14:30:05\t1.234\tM\xA6\xB8\tIR:500V 20G\xA6\xB8\tContinuous\r\n";
const std::string line2 = "2\t14:30:06\t0.56\tNULL\tDCV  600V\tTimed\r\n";
const std::string line3 = "3\t14:30:07\tOL\tG\xA6\xB8\tIR:1000V 40G\xA6\xB8\tPI\r\n";

std::vector<fs::path> filesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// True when an open of path (another open file description) can take the journal's lock.
bool lockIsFree(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  const bool free = fd >= 0 && lockJournal(fd);
  if (fd >= 0) ::close(fd);
  return free;
}

const LongTimeFormat& cFormat() {
  static const LongTimeFormat format("C");
  return format;
}

}  // namespace

TEST(JournalFolder, FollowsTheStateFolderRule) {
  EXPECT_EQ(journalFolder("/x/state", "/home/u"), "/x/state/ostrel");
  EXPECT_EQ(journalFolder(nullptr, "/home/u"), "/home/u/.local/state/ostrel");
  EXPECT_EQ(journalFolder("relative", "/home/u"), "/home/u/.local/state/ostrel");
  EXPECT_EQ(journalFolder("", nullptr), "");
}

// A new journal is made with its folder, appears locked and with its header, and stays on disk
// (lock released) when its owner goes without removing it.
TEST(JournalFile, CreatesALockedJournalWithItsFolder) {
  const ScratchFolder scratch;
  const fs::path folder = scratch.path() / "state" / "ostrel";
  std::string path;
  {
    Result<std::unique_ptr<JournalFile>> created = JournalFile::create(folder.string());
    ASSERT_TRUE(created.ok()) << created.message();
    const auto journal = std::move(created.value());
    path = journal->path();
    const std::string name = fs::path(path).filename().string();
    EXPECT_EQ(name.rfind("recording-", 0), 0u) << name;
    EXPECT_EQ(fs::path(path).extension(), ".txt");
    EXPECT_EQ(filesIn(folder), std::vector<fs::path>{path});  // no file left from creating it
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(readBytes(path), header());
    EXPECT_FALSE(lockIsFree(path));

    EXPECT_EQ(journal->appendLine(line1).message(), "");
    EXPECT_EQ(journal->clear().message(), "");
    EXPECT_EQ(journal->appendLine(line2).message(), "");
    EXPECT_EQ(readBytes(path), header() + line2);
  }
  EXPECT_TRUE(lockIsFree(path));
  EXPECT_EQ(readBytes(path), header() + line2);
}

// A full disk, made with a file-size limit: the line that does not fit leaves nothing behind.
TEST(JournalFile, AFailedWriteLeavesOnlyWholeLines) {
  const ScratchFolder scratch;
  Result<std::unique_ptr<JournalFile>> created = JournalFile::create(scratch.path().string());
  ASSERT_TRUE(created.ok()) << created.message();
  const auto journal = std::move(created.value());
  ASSERT_EQ(journal->appendLine(line1).message(), "");

  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit tight = old;
  tight.rlim_cur = header().size() + line1.size() + 10;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
  const Result<> failed = journal->appendLine(line2);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(readBytes(journal->path()), header() + line1);
  EXPECT_EQ(journal->appendLine(line3).message(), "");
  EXPECT_EQ(readBytes(journal->path()), header() + line1 + line3);
}

struct JournalCase {
  const char* name;
  std::string bytes;
  JournalContent::Kind kind;
  std::size_t records;
  bool dropped;
  std::size_t droppedLines;
};

void PrintTo(const JournalCase& c, std::ostream* os) { *os << c.name; }

class ReadJournal : public testing::TestWithParam<JournalCase> {};

TEST_P(ReadJournal, KeepsEveryRecordThatReadsAndCountsTheLinesLeftOut) {
  const JournalCase& c = GetParam();
  const JournalContent content = readJournal(c.bytes, cFormat());
  EXPECT_EQ(content.kind, c.kind);
  EXPECT_EQ(content.records->recordCount(), c.records);
  EXPECT_EQ(content.droppedLastLine, c.dropped);
  EXPECT_EQ(content.droppedLines, c.droppedLines);
  // The whole lines kept end where the last kept record ends: cut there, the journal holds
  // the same records and nothing left out at its end.
  if (c.kind == JournalContent::Kind::Records) {
    const JournalContent cut = readJournal(c.bytes.substr(0, content.wholeLength), cFormat());
    EXPECT_EQ(cut.records->recordCount(), c.records);
    EXPECT_FALSE(cut.droppedLastLine);
  }
  // Read in pieces as a scan reads them off the disk (a line end split between two pieces
  // included), the journal gives the same.
  for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{7}}) {
    JournalReader reader(cFormat());
    for (std::size_t at = 0; at < c.bytes.size(); at += piece) {
      if (!reader.feed(std::string_view(c.bytes).substr(at, piece))) break;
    }
    const JournalContent pieces = reader.finish();
    EXPECT_EQ(pieces.kind, c.kind) << piece;
    EXPECT_EQ(pieces.records->recordCount(), c.records) << piece;
    EXPECT_EQ(pieces.droppedLastLine, c.dropped) << piece;
    EXPECT_EQ(pieces.droppedLines, c.droppedLines) << piece;
    EXPECT_EQ(pieces.wholeLength, content.wholeLength) << piece;
  }
}

using Kind = JournalContent::Kind;
INSTANTIATE_TEST_SUITE_P(
    Cases, ReadJournal,
    testing::Values(
        JournalCase{"WholeLines", header() + line1 + line2 + line3, Kind::Records, 3, false, 0},
        JournalCase{"LastLineCutShort", header() + line1 + line2 + "3\t14:30:07\tO", Kind::Records,
                    2, true, 0},
        JournalCase{"LastLineNulBytes", header() + line1 + std::string(40, '\0'), Kind::Records, 1,
                    true, 0},
        JournalCase{"LastWholeLineDamaged", header() + line1 + line2 + "3\t14:3\r\n", Kind::Records,
                    2, true, 1},
        JournalCase{"MiddleLineDamaged", header() + line1 + "2\t14:3\r\n" + line3, Kind::Records, 2,
                    false, 1},
        JournalCase{"MiddleLineWithABadNumber",
                    header() + line1 + "x\t14:30:06\t1\tM\tA\tB\r\n" + line3, Kind::Records, 2,
                    false, 1},
        JournalCase{"DamagedLineBeforeCutLine", header() + line1 + "x\r\n" + "3\t14", Kind::Records,
                    1, true, 1},
        JournalCase{
            "OverlongMiddleLine",
            header() + line1 + std::string(JournalReader::maxLineBytes + 5, '7') + "\r\n" + line3,
            Kind::Records, 2, false, 1},
        JournalCase{"OnlyDamagedLines", header() + "x\r\n" + "y\r\n", Kind::Unreadable, 0, true, 2},
        JournalCase{"HeaderOnly", header(), Kind::Empty, 0, false, 0},
        JournalCase{"HeaderCutShort", header().substr(0, 20), Kind::Empty, 0, false, 0},
        JournalCase{"NothingAtAll", "", Kind::Empty, 0, false, 0},
        JournalCase{"NotAJournal", "hello\r\n" + line1, Kind::Unreadable, 0, false, 0},
        JournalCase{"JunkWithoutLineEnd", "\x01\x02garbage", Kind::Unreadable, 0, false, 0}),
    [](const testing::TestParamInfo<JournalCase>& paramInfo) {
      return std::string(paramInfo.param.name);
    });

// Recovered records are the recorded ones: an empty text (written as NULL) is empty again,
// the texts keep their bytes, times their seconds.
TEST(ReadJournal, GivesTheRecordsAsRecorded) {
  const JournalContent content = readJournal(header() + line1 + line2, cFormat());
  ASSERT_EQ(content.records->recordCount(), 2u);
  const RecordFields first = content.records->record(0);
  EXPECT_EQ(first.No, 1);
  EXPECT_EQ(first.TimeMs, ((14 * 60 + 30) * 60 + 5) * 1000);
  EXPECT_EQ(first.Value, "1.234");
  EXPECT_EQ(first.Unit, "M\xA6\xB8");
  EXPECT_EQ(first.V_Range, "IR:500V 20G\xA6\xB8");
  EXPECT_EQ(first.I_Range, "Continuous");
  EXPECT_EQ(content.records->record(1).Unit, std::nullopt);
  EXPECT_EQ(content.records->record(1).V_Range, "DCV  600V");
}

// The test time travels as a seventh cell that only the journal carries: written when the
// record has one, read back with it; a seventh cell that is no number damages the line, which
// recovery leaves out.
TEST(ReadJournal, KeepsTheTestTimeInASeventhCell) {
  RecordFields timed{7, 1000, "20.50", "G\xA6\xB8", "IR:1000V 40G\xA6\xB8", "Timed", 42};
  std::string line = "7\t00:00:01\t20.50\tG\xA6\xB8\tIR:1000V 40G\xA6\xB8\tTimed\r\n";
  appendTestTimeCell(line, timed.TestTime);
  EXPECT_EQ(line, "7\t00:00:01\t20.50\tG\xA6\xB8\tIR:1000V 40G\xA6\xB8\tTimed\t42\r\n");

  const JournalContent content = readJournal(header() + line1 + line, cFormat());
  ASSERT_EQ(content.kind, JournalContent::Kind::Records);
  ASSERT_EQ(content.records->recordCount(), 2u);
  EXPECT_EQ(content.records->record(0).TestTime, std::nullopt);
  EXPECT_EQ(content.records->record(1).TestTime, 42);
  EXPECT_EQ(content.records->record(1).I_Range, "Timed");

  for (const char* bad : {"x", "-1", ""}) {
    const std::string damaged = "7\t00:00:01\t20.50\tNULL\tNULL\tTimed\t" + std::string(bad);
    const JournalContent read = readJournal(header() + line1 + damaged + "\r\n" + line2, cFormat());
    ASSERT_EQ(read.kind, JournalContent::Kind::Records) << bad;
    EXPECT_EQ(read.records->recordCount(), 2u) << bad;  // the damaged line left out
    EXPECT_EQ(read.droppedLines, 1u) << bad;
  }
  // The table's own text form stays six cells: a seventh is no record there.
  ReadingsTable table;
  EXPECT_FALSE(readTextTable(header() + line, table, cFormat()).ok());
}

// The scan offers the newest journal no window holds, locked and cut back to whole lines;
// removes journals without records; renames unreadable ones aside; leaves held ones alone.
TEST(ScanLeftJournals, OffersTheNewestFreeJournal) {
  const ScratchFolder scratch;
  const fs::path folder = scratch.path();
  Result<std::unique_ptr<JournalFile>> created = JournalFile::create(folder.string());
  ASSERT_TRUE(created.ok()) << created.message();
  const auto held = std::move(created.value());
  ASSERT_EQ(held->appendLine(line1).message(), "");

  const auto write = [&](const char* name, const std::string& bytes, std::time_t age) {
    const fs::path path = folder / name;
    writeBytes(path, bytes);
    const timespec times[2] = {{std::time(nullptr) - age, 0}, {std::time(nullptr) - age, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    return path;
  };
  const fs::path older = write("recording-aaaaaa.txt", header() + line1, 100);
  const fs::path newer = write("recording-bbbbbb.txt", header() + line1 + line2 + "3\t1", 10);
  const fs::path empty = write("recording-cccccc.txt", header(), 5);
  const fs::path damaged = write("recording-dddddd.txt", header() + "x\r\n" + "y\r\n", 1);
  const fs::path other = write("notes.txt", "x", 1);

  JournalScan scan = scanLeftJournals(folder.string(), cFormat());
  ASSERT_TRUE(scan.left);
  EXPECT_EQ(scan.left->file->path(), newer.string());
  EXPECT_EQ(scan.left->records->recordCount(), 2u);
  EXPECT_TRUE(scan.left->droppedLastLine);
  EXPECT_EQ(readBytes(newer), header() + line1 + line2);
  EXPECT_FALSE(lockIsFree(newer.string()));

  ASSERT_EQ(scan.unreadable.size(), 1u);
  EXPECT_EQ(scan.unreadable[0].path, damaged.string());
  EXPECT_EQ(scan.unreadable[0].keptAs, (folder / "unreadable-recording-dddddd.txt").string());
  EXPECT_EQ(readBytes(scan.unreadable[0].keptAs), header() + "x\r\n" + "y\r\n");
  EXPECT_FALSE(fs::exists(empty));
  EXPECT_TRUE(fs::exists(older));
  EXPECT_TRUE(fs::exists(other));
  EXPECT_EQ(readBytes(held->path()), header() + line1);

  // Once the offered one is gone, the older one is next.
  ASSERT_EQ(scan.left->file->remove().message(), "");
  scan.left.reset();
  const JournalScan next = scanLeftJournals(folder.string(), cFormat());
  ASSERT_TRUE(next.left);
  EXPECT_EQ(next.left->file->path(), older.string());
  EXPECT_TRUE(next.unreadable.empty());

  EXPECT_FALSE(scanLeftJournals((folder / "missing").string(), cFormat()).left);
}

// A scan asked to stop before it is done touches nothing: the journals stay as they were and
// no lock is kept.
TEST(ScanLeftJournals, StopsWhenCancelledLeavingEveryJournalAsItWas) {
  const ScratchFolder scratch;
  const fs::path left = scratch.path() / "recording-aaaaaa.txt";
  const fs::path empty = scratch.path() / "recording-bbbbbb.txt";
  writeBytes(left, header() + line1 + "2\t1");
  writeBytes(empty, header());
  const std::atomic<bool> cancel{true};
  const JournalScan scan = scanLeftJournals(scratch.path().string(), cFormat(), &cancel);
  EXPECT_TRUE(scan.cancelled);
  EXPECT_FALSE(scan.left);
  EXPECT_EQ(readBytes(left), header() + line1 + "2\t1");
  EXPECT_TRUE(fs::exists(empty));
  EXPECT_TRUE(lockIsFree(left.string()));
}

// A FIFO under a journal's name neither hangs the start nor is taken for a journal.
TEST(ScanLeftJournals, RenamesANonRegularFileAside) {
  const ScratchFolder scratch;
  const fs::path fifo = scratch.path() / "recording-ffffff.txt";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const JournalScan scan = scanLeftJournals(scratch.path().string(), cFormat());
  EXPECT_FALSE(scan.left);
  ASSERT_EQ(scan.unreadable.size(), 1u);
  EXPECT_FALSE(scan.unreadable[0].keptAs.empty());
}

// What a sink was asked to do; kept by the test, since the writer owns (and destroys) the sink.
struct SinkLog {
  int failFrom = 1000;  // appends after this many fail
  int appends = 0;
  bool removed = false;
  std::vector<std::string> lines;
};

class CountingSink : public JournalSink {
 public:
  explicit CountingSink(SinkLog& log) : m_log(log) {}
  Result<> appendLine(std::string_view line) override {
    if (++m_log.appends > m_log.failFrom) return Result<>::failure("No space left on device");
    m_log.lines.emplace_back(line);
    return {};
  }
  Result<> sync() override { return {}; }
  Result<> clear() override {
    m_log.lines.clear();
    return {};
  }
  Result<> remove() override {
    m_log.removed = true;
    return {};
  }

 private:
  SinkLog& m_log;
};

// The writer opens the journal at the first record, writes the "Save Data" lines in order
// (their times in the journal's fixed form with milliseconds), empties it on clear, and
// removes it at a clean end; without one the file stays.
TEST(JournalWriter, WritesRecordsInOrderAndRemovesTheJournalAtACleanEnd) {
  const ScratchFolder scratch;
  const std::string folder = (scratch.path() / "j").string();
  const auto opener = [folder]() -> Result<std::unique_ptr<JournalSink>> {
    Result<std::unique_ptr<JournalFile>> created = JournalFile::create(folder);
    if (!created.ok()) return created;
    return {std::move(created.value())};
  };
  ReadingsTable table;
  fillFixtureReadings(table);
  RecordFields timed = table.record(2);
  timed.TestTime = 61;
  table.append(timed);
  // Each record's line as "Save Data" writes it in the C locale, with the milliseconds; a
  // record with a test time carries it as a seventh cell.
  const std::vector<std::string> lines = {
      "1\t14:30:05.123\t1.234\tM\xA6\xB8\tIR:500V 20G\xA6\xB8\tContinuous\r\n",
      "2\t09:05:03.040\t0.56\tNULL\tDCV  600V\tTimed\r\n",
      "3\t23:59:59.999\ta&b\t\x81\\\tIR:5000V 1000G\xA6\xB8\tCOMP:GOOD\r\n",
      "3\t23:59:59.999\ta&b\t\x81\\\tIR:5000V 1000G\xA6\xB8\tCOMP:GOOD\t61\r\n"};
  {
    JournalWriter writer(opener, [](const std::string& reason) { FAIL() << reason; });
    writer.flush();
    EXPECT_FALSE(fs::exists(folder));  // nothing recorded, no file

    for (std::size_t row = 0; row < table.recordCount(); ++row) writer.append(table.record(row));
    writer.flush();
    ASSERT_EQ(filesIn(folder).size(), 1u);
    EXPECT_EQ(readBytes(filesIn(folder)[0]), header() + lines[0] + lines[1] + lines[2] + lines[3]);

    writer.clear();
    writer.append(table.record(2));
    writer.flush();
    EXPECT_EQ(readBytes(filesIn(folder)[0]), header() + lines[2]);
    EXPECT_EQ(writer.finish().message(), "");
    EXPECT_TRUE(filesIn(folder).empty());
    writer.append(table.record(0));  // after the end: ignored
  }
  EXPECT_TRUE(filesIn(folder).empty());

  {
    JournalWriter writer(opener, {});
    writer.append(table.record(0));
  }  // not ended cleanly: what was queued is written and stays
  ASSERT_EQ(filesIn(folder).size(), 1u);
  EXPECT_EQ(readBytes(filesIn(folder)[0]), header() + lines[0]);
}

// The first failure stops the journal: one report, nothing more written, the whole lines kept.
TEST(JournalWriter, StopsAtTheFirstFailureAndReportsItOnce) {
  SinkLog journal;
  journal.failFrom = 1;  // the second line fails
  std::vector<std::string> reports;
  ReadingsTable table;
  fillFixtureReadings(table);
  JournalWriter writer(std::make_unique<CountingSink>(journal),
                       [&](const std::string& reason) { reports.push_back(reason); });
  for (int i = 0; i < 3; ++i) {
    writer.append(table.record(0));
    writer.flush();
  }
  EXPECT_TRUE(writer.stopped());
  EXPECT_EQ(reports, std::vector<std::string>{"No space left on device"});
  EXPECT_EQ(journal.appends, 2);
  EXPECT_EQ(journal.lines.size(), 1u);
  writer.clear();  // Delete Data still empties a stopped journal
  writer.flush();
  EXPECT_TRUE(journal.lines.empty());
  EXPECT_TRUE(writer.finish().ok());
  EXPECT_TRUE(journal.removed);
}

}  // namespace ostrel::test
