#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fstream>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "record/ReadingsTable.h"
#include "record/TableFiles.h"
#include "sim/frames/FrameBuilder.h"
#include "sim/uhid/FrameFile.h"
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

  // The link's events only: the bytes of the line settings sent at each connect are the
  // window's history, not the log's.
  const std::string err = process->result().err;
  EXPECT_EQ(err.find("00 60 09 00 00 03"), std::string::npos) << err;
  ostrel::ReadingsTable table;
  ASSERT_TRUE(ostrel::LoadTableFromFile(out, table, true).ok());
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
  ASSERT_TRUE(ostrel::LoadTableFromFile(out, table, true).ok());
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
  ASSERT_TRUE(ostrel::LoadTableFromFile(out, table, true).ok());
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
  ASSERT_TRUE(ostrel::LoadTableFromFile(out, table, true).ok());
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    EXPECT_EQ(table.no(row), static_cast<int>(row) + 1);
  }
}

// One line of the JSON Lines stream, checked for what every record carries: exactly its keys,
// its number `no`, a time with date, milliseconds and UTC offset, and the texts as strings.
// Nothing when the line is no JSON object.
std::optional<QJsonObject> streamRecord(const QString& line, int no) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) {
    ADD_FAILURE() << "not a JSON object: " << error.errorString().toStdString();
    return std::nullopt;
  }
  const QJsonObject record = document.object();
  EXPECT_EQ(record.keys(), (QStringList{"device", "function", "mode", "no", "number", "test_time_s",
                                        "time", "unit", "value"}));
  EXPECT_TRUE(record["no"].isDouble());
  EXPECT_EQ(record["no"].toInt(), no);
  static const QRegularExpression isoTime(
      R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}[+-]\d{2}:\d{2}$)");
  EXPECT_TRUE(isoTime.match(record["time"].toString()).hasMatch());
  for (const char* key : {"value", "unit", "function", "mode", "device"}) {
    EXPECT_TRUE(record[key].isString()) << key;
  }
  return record;
}

// The JSON Lines stream through a pipe: every key with its type, numbering from 1, the time
// with its date, and the number in base units as the value and unit shown say.
TEST(CliLog, JsonLinesStreamToAPipeCarriesEveryKey) {
  std::unique_ptr<ChildProcess> process(
      startLog({"--demo", "--format", "jsonl", "--out", "-", "--limit", "6"}));
  ASSERT_TRUE(process->waitForExit(30000ms));
  ASSERT_EQ(process->result().exitCode, 0) << process->result().err;

  const std::map<QString, double> scale{{"Ω", 1.0},  {"kΩ", 1e3},  {"MΩ", 1e6},
                                        {"GΩ", 1e9}, {"TΩ", 1e12}, {"V", 1.0}};
  const QStringList lines = QString::fromStdString(process->result().out).split('\n');
  ASSERT_EQ(lines.size(), 7) << process->result().out;  // six lines, each ending in LF
  EXPECT_TRUE(lines.back().isEmpty());
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(lines[i].toStdString());
    const std::optional<QJsonObject> parsed = streamRecord(lines[i], i + 1);
    ASSERT_TRUE(parsed.has_value());
    const QJsonObject& record = *parsed;
    EXPECT_FALSE(record["device"].toString().isEmpty());
    EXPECT_TRUE(record["function"].toString().startsWith("IR:"));
    EXPECT_TRUE(record["test_time_s"].isNull() || record["test_time_s"].isDouble());
    const QString unit = record["unit"].toString();
    ASSERT_TRUE(scale.contains(unit)) << unit.toStdString();
    ASSERT_TRUE(record["number"].isDouble());
    const double expected = record["value"].toString().toDouble() * scale.at(unit);
    EXPECT_NEAR(record["number"].toDouble(), expected, std::abs(expected) * 1e-12);
  }
}

// --fast 60: the virtual meter's timed test runs sixty times faster, so its whole ten minutes
// and the meter's PI come in about fifteen seconds, with the meter's timer in the records and a
// reading at each of the test's marks, though the link reads only about every third frame.
TEST(CliLog, FastDemoGivesTheWholeTimedTestAndTheMetersPi) {
  std::unique_ptr<ChildProcess> process(
      startLog({"--demo", "--fast", "60", "--format", "jsonl", "--out", "-", "--limit", "32"}));
  ASSERT_TRUE(process->waitForExit(90000ms));
  ASSERT_EQ(process->result().exitCode, 0) << process->result().err;
  QStringList lines = QString::fromStdString(process->result().out).split('\n');
  EXPECT_TRUE(lines.takeLast().isEmpty());
  ASSERT_EQ(lines.size(), 32);
  std::vector<double> timers;
  std::optional<QJsonObject> pi;
  for (int i = 0; i < lines.size() && !pi; ++i) {
    SCOPED_TRACE(lines[i].toStdString());
    // The PI is a ratio: its unit is null, which streamRecord does not take.
    const std::optional<QJsonObject> record = QJsonDocument::fromJson(lines[i].toUtf8()).object();
    EXPECT_EQ((*record)["no"].toInt(), i + 1);
    EXPECT_EQ((*record)["function"].toString(), QStringLiteral("IR:1000V 40G\u03A9"));
    if ((*record)["mode"].toString() == QStringLiteral("PI")) {
      pi = record;
      break;
    }
    EXPECT_EQ((*record)["mode"].toString(), QStringLiteral("Timed"));
    timers.push_back((*record)["test_time_s"].toDouble());
  }
  ASSERT_TRUE(pi.has_value()) << "the meter's PI follows the test";
  EXPECT_EQ((*pi)["value"].toString(), QStringLiteral("2.501"));
  EXPECT_EQ((*pi)["test_time_s"].toDouble(), 600);
  EXPECT_TRUE(std::is_sorted(timers.begin(), timers.end())) << "the timer counts up";
  for (const double mark : {15.0, 30.0, 60.0, 600.0}) {
    EXPECT_NE(std::find(timers.begin(), timers.end(), mark), timers.end()) << mark;
  }
}

// Readings in every unit the meter shows, and an overload, played by the virtual meter from a
// frame file through the same link and pipeline as a cable's: the stream gives each its key
// types, the number in base units (ohms, volts) and null for the overload.
TEST(CliLog, JsonLinesStreamGivesBaseUnitNumbersForEveryUnit) {
  struct Shown {
    const char* digits;
    const char* unit;  // UTF-8
    const char* testVoltage;
    const char* symbol;  // lit besides, or nullptr
    std::optional<double> number;
  };
  const std::vector<Shown> shown = {
      {"0.52", "Ω", nullptr, nullptr, 0.52},           {"1.234", "MΩ", " 500", nullptr, 1234000.0},
      {"19.99", "GΩ", "1000", nullptr, 19990000000.0}, {"1.50", "TΩ", "5000", nullptr, 1.5e12},
      {"512", "V", nullptr, "labdc", 512.0},           {"0L", "MΩ", " 500", nullptr, std::nullopt},
  };
  QTemporaryDir dir;
  const std::string frames = dir.filePath("frames.txt").toStdString();
  {
    std::ofstream file(frames);
    file << "# one frame per line\n";
    for (const Shown& s : shown) {
      ostrel::sim::FrameBuilder frame;
      frame.mainDigits(s.digits).unit(s.unit);
      if (s.testVoltage) frame.testVoltage(s.testVoltage);
      if (s.symbol) frame.symbol(s.symbol);
      // Each reading stays a while, as on the meter, so that the recording's pace meets it.
      for (int repeat = 0; repeat < 4; ++repeat) {
        file << ostrel::uhid::hexBytes(frame.bytes()) << '\n';
      }
    }
  }
  // Records until every reading came at least once, however the timing falls.
  std::unique_ptr<ChildProcess> process(
      startLog({"--demo-frames", frames, "--format", "jsonl", "--out", "-"}));
  const auto everyReadingCame = [&] {
    const std::string& out = process->result().out;
    return std::all_of(shown.begin(), shown.end(), [&](const Shown& s) {
      return out.find(std::string("\"value\":\"") + s.digits + "\"") != std::string::npos;
    });
  };
  for (int wait = 0; wait < 300 && process->running() && !everyReadingCame(); ++wait) {
    process->waitForExit(200ms);
  }
  ASSERT_TRUE(process->running()) << process->result().err;
  process->sendSignal(SIGTERM);
  ASSERT_TRUE(process->waitForExit(10000ms));
  ASSERT_EQ(process->result().exitCode, 0) << process->result().err;

  QStringList lines = QString::fromStdString(process->result().out).split('\n');
  EXPECT_TRUE(lines.takeLast().isEmpty()) << "each line ends in LF";
  std::set<std::string> seen;
  for (int i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i].toStdString());
    const std::optional<QJsonObject> parsed = streamRecord(lines[i], i + 1);
    ASSERT_TRUE(parsed.has_value());
    const QJsonObject& record = *parsed;
    EXPECT_TRUE(record["test_time_s"].isNull());  // no timer lit
    const std::string value = record["value"].toString().trimmed().toStdString();
    const auto match = std::find_if(shown.begin(), shown.end(), [&](const Shown& s) {
      return value == s.digits && record["unit"].toString() == QString::fromUtf8(s.unit);
    });
    ASSERT_NE(match, shown.end()) << "a reading no frame showed";
    seen.insert(value);
    if (match->number) {
      ASSERT_TRUE(record["number"].isDouble());
      EXPECT_EQ(record["number"].toDouble(), *match->number);
    } else {
      EXPECT_TRUE(record["number"].isNull());
    }
  }
  EXPECT_EQ(seen.size(), shown.size()) << "every frame's reading was recorded:\n"
                                       << process->result().out;
}

// What a user already has is kept: a file with records is refused unchanged, with the two
// ways on named; --append continues after its last whole record (a cut last line dropped)
// with the numbers going on; --overwrite starts afresh. Both formats.
TEST(CliLog, AnExistingFileIsRefusedAppendedToOrOverwritten) {
  for (const char* format : {"text", "jsonl"}) {
    SCOPED_TRACE(format);
    QTemporaryDir dir;
    const std::string out = dir.filePath("log").toStdString();
    const auto run = [&](std::vector<std::string> args) {
      args.insert(args.end(), {"--demo", "--format", format, "--out", out});
      std::unique_ptr<ChildProcess> process(startLog(args));
      EXPECT_TRUE(process->waitForExit(30000ms));
      return process->result();
    };
    ASSERT_EQ(run({"--limit", "3"}).exitCode, 0);
    const std::string three = fileBytes(out);
    {
      std::ofstream cut(out, std::ios::app | std::ios::binary);
      cut << (std::string(format) == "text" ? "4\t00:00:01\t1.2" : "{\"no\":4,\"ti");
    }
    const std::string withCutLine = fileBytes(out);

    const ostrel::test::ChildResult refused = run({"--limit", "9"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("--append"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--overwrite"), std::string::npos) << refused.err;
    EXPECT_EQ(fileBytes(out), withCutLine);

    ASSERT_EQ(run({"--append", "--limit", "5"}).exitCode, 0);
    const std::string five = fileBytes(out);
    EXPECT_TRUE(five.starts_with(three));
    const std::size_t lineCount = std::count(five.begin(), five.end(), '\n');
    EXPECT_EQ(lineCount, std::string(format) == "text" ? 6U : 5U) << five;
    if (std::string(format) == "text") {
      ostrel::ReadingsTable table;
      ASSERT_TRUE(ostrel::LoadTableFromFile(out, table, true).ok());
      ASSERT_EQ(table.recordCount(), 5U);
      for (std::size_t row = 0; row < 5; ++row) EXPECT_EQ(table.no(row), int(row) + 1);
    } else {
      EXPECT_NE(five.find("{\"no\":4,"), std::string::npos);
      EXPECT_NE(five.find("{\"no\":5,"), std::string::npos);
    }

    ASSERT_EQ(run({"--overwrite", "--limit", "1"}).exitCode, 0);
    const std::string one = fileBytes(out);
    EXPECT_EQ(std::count(one.begin(), one.end(), '\n'), std::string(format) == "text" ? 2 : 1);
    EXPECT_TRUE(one.find(std::string(format) == "text" ? "\r\n1\t" : "{\"no\":1,") !=
                std::string::npos)
        << one;
  }
}

std::vector<std::string> splitText(const std::string& text, const std::string& separator) {
  std::vector<std::string> pieces;
  for (std::size_t start = 0;;) {
    const std::size_t at = text.find(separator, start);
    pieces.push_back(text.substr(start, at == std::string::npos ? at : at - start));
    if (at == std::string::npos) return pieces;
    start = at + separator.size();
  }
}

void writeFile(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary | std::ios::trunc) << bytes;
}

// --append adds only to a log of its own format. Anything else (a data packet without a line
// feed, plain text, JSON without `no`, the other format, a text log whose times are in another
// locale's form) is refused with the reason and left as it was; a complete last record without
// its line end is kept, the end added, and the numbers go on after it.
TEST(CliLog, AppendTakesOnlyALogOfItsOwnFormat) {
  QTemporaryDir dir;
  const std::string out = dir.filePath("log").toStdString();
  const auto run = [&](const char* format, std::vector<std::string> args) {
    args.insert(args.end(), {"--demo", "--format", format, "--out", out});
    std::unique_ptr<ChildProcess> process(startLog(args));
    EXPECT_TRUE(process->waitForExit(30000ms));
    return process->result();
  };
  std::map<std::string, std::string> twoRecords;
  for (const char* format : {"text", "jsonl"}) {
    ASSERT_EQ(run(format, {"--overwrite", "--limit", "2"}).exitCode, 0);
    twoRecords[format] = fileBytes(out);
  }
  const std::string& text = twoRecords["text"];
  const std::string& json = twoRecords["jsonl"];
  std::vector<std::string> lines = splitText(text, "\r\n");
  ASSERT_EQ(lines.size(), 4U) << text;  // the header, two records, nothing after the last end
  std::vector<std::string> cells = splitText(lines[2], "\t");
  ASSERT_EQ(cells.size(), 6U);
  cells[1] = "09:41:46 AM";  // beside the first record's 24-hour time
  std::string twelveHour;
  for (const std::string& cell : cells) twelveHour += (twelveHour.empty() ? "" : "\t") + cell;
  const std::string mixedTimes = lines[0] + "\r\n" + lines[1] + "\r\n" + twelveHour + "\r\n";
  const std::string packet =
      "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA/>"
      "<ROWDATA/></DATAPACKET>";

  struct Refused {
    const char* name;
    const char* format;
    std::string bytes;
    const char* reason;
  };
  const std::vector<Refused> refused = {
      {"a packet without a line feed", "jsonl", packet, "is not a JSON Lines log"},
      {"a packet without a line feed", "text", packet, "is not a text table log"},
      {"plain text", "jsonl", "one\ntwo\n", "is not a JSON Lines log"},
      {"JSON without no", "jsonl", "{\"no\":1}\n{\"value\":\"2\"}\n", "is not a JSON Lines log"},
      {"a text log", "jsonl", text, "is not a JSON Lines log"},
      {"a JSON Lines log", "text", json, "is not a text table log"},
      {"times of two forms", "text", mixedTimes, "another locale's form"},
  };
  for (const Refused& c : refused) {
    SCOPED_TRACE(std::string(c.name) + " as " + c.format);
    writeFile(out, c.bytes);
    const ostrel::test::ChildResult result = run(c.format, {"--append", "--limit", "5"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("nothing was changed"), std::string::npos) << result.err;
    EXPECT_EQ(fileBytes(out), c.bytes);
  }

  for (const char* format : {"text", "jsonl"}) {
    SCOPED_TRACE(std::string("last record without its line end, ") + format);
    const std::string& whole = twoRecords[format];
    const std::string lineEnd = std::string(format) == "text" ? "\r\n" : "\n";
    writeFile(out, whole.substr(0, whole.size() - lineEnd.size()));
    ASSERT_EQ(run(format, {"--append", "--limit", "3"}).exitCode, 0);
    const std::string three = fileBytes(out);
    EXPECT_TRUE(three.starts_with(whole)) << three;
    const std::string added = three.substr(whole.size());
    EXPECT_TRUE(added.starts_with(std::string(format) == "text" ? "3\t" : "{\"no\":3,")) << added;
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << added;
  }
}

// The file reaches the disk while the records come, not only at the end: a preloaded library
// notes the file's size at each fdatasync (or fsync), and no more than a few records (about
// two seconds of the demo) are ever written without one.
TEST(CliLog, SyncsTheFileAtLeastEverySecondWhileRecording) {
  QTemporaryDir dir;
  const std::string out = QFileInfo(dir.path()).canonicalFilePath().toStdString() + "/log.jsonl";
  const std::string syncLog = dir.filePath("syncs").toStdString();
  std::unique_ptr<ChildProcess> process(
      startLog({"--demo", "--format", "jsonl", "--out", out, "--limit", "8"},
               ChildOptions()
                   .withVariable("LD_PRELOAD", OSTREL_COUNT_SYNCS)
                   .withVariable("OSTREL_TEST_SYNCED_FILE", out)
                   .withVariable("OSTREL_TEST_SYNC_LOG", syncLog)));
  ASSERT_TRUE(process->waitForExit(60000ms));
  ASSERT_EQ(process->result().exitCode, 0) << process->result().err;
  const std::string bytes = fileBytes(out);
  ASSERT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 8);
  std::vector<long> synced;  // the whole records on the disk at each sync
  std::ifstream sizes(syncLog);
  for (std::size_t size = 0; sizes >> size;) {
    ASSERT_LE(size, bytes.size());
    synced.push_back(std::count(bytes.begin(), bytes.begin() + static_cast<long>(size), '\n'));
  }
  ASSERT_FALSE(synced.empty()) << "the file was never synced";
  EXPECT_EQ(synced.back(), 8);
  EXPECT_LE(synced.front(), 3);
  for (std::size_t i = 1; i < synced.size(); ++i) {
    EXPECT_LE(synced[i] - synced[i - 1], 3)
        << "records " << synced[i - 1] + 1 << " to " << synced[i] << " waited for one sync";
  }
}

struct FailCase {
  const char* name;
  std::vector<std::string> args;
  int exitCode;
  const char* message;
  std::vector<std::pair<std::string, std::string>> environment = {};
};
void PrintTo(const FailCase& c, std::ostream* out) { *out << c.name; }

class CliLogFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(CliLogFailure, ExitsWithAClearError) {
  ChildOptions options;
  for (const auto& [name, value] : GetParam().environment) options.withVariable(name, value);
  std::unique_ptr<ChildProcess> process(startLog(GetParam().args, std::move(options)));
  const bool ended = process->waitForExit(10000ms);
  if (!ended) process->sendSignal(SIGKILL);
  ASSERT_TRUE(ended) << "still running";
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
        FailCase{"NoFrameFile",
                 {"--demo-frames", "/nonexistent-dir/frames.txt", "--out", "-"},
                 1,
                 "cannot open /nonexistent-dir/frames.txt"},
        FailCase{"FramesAndADevice",
                 {"--demo-frames", "frames.txt", "--device", "/dev/hidraw-none", "--out", "-"},
                 2,
                 "usage"},
        FailCase{"NoOutput", {"--demo"}, 2, "usage: ostrel-cli log"},
        FailCase{"BadLimit",
                 {"--demo", "--out", "/tmp/x.txt", "--limit", "0"},
                 2,
                 "bad value for --limit: '0'"},
        FailCase{"SignedInterval",
                 {"--demo", "--out", "/tmp/x.txt", "--interval", "+5"},
                 2,
                 "bad value for --interval: '+5'"},
        FailCase{
            "LimitWithoutValue", {"--demo", "--out", "-", "--limit"}, 2, "--limit needs a value"},
        FailCase{"AppendAndOverwrite",
                 {"--demo", "--out", "/tmp/x.txt", "--append", "--overwrite"},
                 2,
                 "usage"},
        FailCase{"AppendToAStream", {"--demo", "--out", "-", "--append"}, 2, "usage"},
        FailCase{"FastWithoutDemo", {"--out", "-", "--fast", "10"}, 2, "--fast goes with --demo"},
        FailCase{"FastBeyondItsRange",
                 {"--demo", "--out", "-", "--fast", "61"},
                 2,
                 "bad value for --fast: '61'"},
        FailCase{"FastWithAFrameFile",
                 {"--demo-frames", "frames.txt", "--out", "-", "--fast", "10"},
                 2,
                 "--fast goes with --demo"},
        FailCase{"UnknownFormat",
                 {"--demo", "--out", "-", "--format", "csv"},
                 2,
                 "bad value for --format: 'csv'"},
        FailCase{
            "UnknownOption", {"--demo", "--out", "-", "--fromat"}, 2, "unknown option '--fromat'"},
        FailCase{"PortWithASign",
                 {"--demo", "--mqtt", "mqtt://127.0.0.1:+80/lab"},
                 2,
                 "bad port in the MQTT address: +80"},
        FailCase{"MissingPasswordFile",
                 {"--demo", "--mqtt", "mqtt://127.0.0.1:1/lab"},
                 1,
                 "cannot read the MQTT password file /nonexistent-dir/password: No such file",
                 {{"OSTREL_MQTT_USER", "lab"},
                  {"OSTREL_MQTT_PASSWORD_FILE", "/nonexistent-dir/password"}}},
        FailCase{"PasswordFileIsAFolder",
                 {"--demo", "--mqtt", "mqtt://127.0.0.1:1/lab"},
                 1,
                 "cannot read the MQTT password file /: Is a directory",
                 {{"OSTREL_MQTT_USER", "lab"}, {"OSTREL_MQTT_PASSWORD_FILE", "/"}}},
        FailCase{"PasswordInTheAddress",
                 {"--demo", "--mqtt", "mqtt://u:p@127.0.0.1/lab"},
                 2,
                 "no user or password in the MQTT address"},
        FailCase{"AddressWithoutPrefix",
                 {"--demo", "--mqtt", "mqtt://127.0.0.1:1883"},
                 2,
                 "topic prefix"}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

}  // namespace

namespace {

// A free TCP port on the loopback interface (bound, read back and released).
int freeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

// Whether a TCP connection to the loopback address (127.0.0.1 or ::1) and port is made within
// the wait: false when it is refused or never answered.
bool connects(const std::string& host, int port, std::chrono::milliseconds wait = 0ms) {
  const bool v6 = host.find(':') != std::string::npos;
  const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  sockaddr_in6 address6{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address6.sin6_family = AF_INET6;
  address6.sin6_port = htons(static_cast<std::uint16_t>(port));
  address6.sin6_addr = in6addr_loopback;
  const int started = v6 ? ::connect(fd, reinterpret_cast<sockaddr*>(&address6), sizeof address6)
                         : ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  bool made = started == 0;
  if (!made && errno == EINPROGRESS) {
    pollfd ready{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    made = ::poll(&ready, 1, static_cast<int>(wait.count())) == 1 &&
           ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
  }
  ::close(fd);
  return made;
}

// A Mosquitto broker of the test's own on the loopback address (127.0.0.1 unless given), with
// persistence in a private folder so that a restart keeps subscriptions and queued messages.
class Broker {
 public:
  static constexpr const char* program = "/usr/sbin/mosquitto";

  explicit Broker(std::string host = "127.0.0.1")
      : m_host(std::move(host)), m_port(freeLoopbackPort()) {
    const std::string folder = m_dir.path().toStdString();
    m_config = folder + "/mosquitto.conf";
    std::ofstream config(m_config);
    config << "listener " << m_port << " " << m_host << "\n"
           << "allow_anonymous true\n"
           << "persistence true\n"
           << "persistence_location " << folder << "/\n"
           << "log_dest stderr\n";
  }
  [[nodiscard]] const std::string& host() const { return m_host; }
  [[nodiscard]] int port() const { return m_port; }

  // Starts the broker and waits until it takes connections.
  bool start() {
    m_process = std::make_unique<ChildProcess>(program, std::vector<std::string>{"-c", m_config});
    for (int tries = 0; tries < 100; ++tries) {
      if (!m_process->running()) return false;
      if (connects(m_host, m_port, 100ms)) return true;
      m_process->waitForExit(100ms);
    }
    return false;
  }
  // Stops it as a service manager would (SIGTERM: it saves its state).
  void stop() {
    if (!m_process) return;
    m_process->sendSignal(SIGTERM);
    m_process->waitForExit(10000ms);
    m_process.reset();
  }
  ~Broker() { stop(); }

 private:
  QTemporaryDir m_dir;
  std::string m_host;
  int m_port;
  std::string m_config;
  std::unique_ptr<ChildProcess> m_process;
};

// A listener on 127.0.0.1 that never accepts, its backlog (of one) filled by connections of its
// own: the system drops every further handshake, so a client's connect neither succeeds nor
// fails, as with a broker that hangs.
class SilentListener {
 public:
  SilentListener() {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 ||
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 0) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    m_port = ntohs(address.sin_port);
    for (int filler = 0; filler < 4; ++filler) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      (void)::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
      m_fillers.push_back(fd);
    }
  }
  ~SilentListener() {
    for (const int fd : m_fillers) ::close(fd);
    if (m_listener >= 0) ::close(m_listener);
  }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  [[nodiscard]] int port() const { return m_port; }
  // True when a new connection hangs, as it must.
  [[nodiscard]] bool full() const { return m_port > 0 && !connects("127.0.0.1", m_port, 500ms); }

 private:
  int m_listener = -1;
  int m_port = 0;
  std::vector<int> m_fillers;
};

std::unique_ptr<ChildProcess> mosquittoSub(const Broker& broker,
                                           std::vector<std::string> arguments) {
  std::vector<std::string> all{"-h", broker.host(), "-p", std::to_string(broker.port())};
  all.insert(all.end(), arguments.begin(), arguments.end());
  return std::make_unique<ChildProcess>("/usr/bin/mosquitto_sub", all);
}

bool haveMosquitto() {
  return ::access(Broker::program, X_OK) == 0 && ::access("/usr/bin/mosquitto_sub", X_OK) == 0;
}

std::vector<int> recordNumbers(const std::string& lines) {
  std::vector<int> numbers;
  for (const QString& line : QString::fromStdString(lines).split('\n')) {
    if (line.isEmpty()) break;  // one payload a line, each without a line end of its own
    numbers.push_back(QJsonDocument::fromJson(line.toUtf8()).object()["no"].toInt(-1));
  }
  return numbers;
}

// Every record reaches a subscriber, in order, also when the broker is stopped for a while in
// the middle and started again; the retained status reads "offline" once the logger ended.
TEST(CliLogMqtt, EveryRecordArrivesInOrderAcrossABrokerRestart) {
  if (!haveMosquitto()) GTEST_SKIP() << "no Mosquitto broker or mosquitto_sub installed";
  Broker broker;
  ASSERT_GT(broker.port(), 0);
  ASSERT_TRUE(broker.start());
  // A persistent session (-c with a fixed id) keeps what is published while the subscriber
  // itself is away during the restart. Made before the logger starts, so nothing is missed.
  const std::vector<std::string> session{"-c", "-i", "ostrel-test-sub", "-q",
                                         "1",  "-t", "bench/readings"};
  {
    std::vector<std::string> once = session;
    once.push_back("-E");
    std::unique_ptr<ChildProcess> subscribe(mosquittoSub(broker, once));
    ASSERT_TRUE(subscribe->waitForExit(10000ms));
    ASSERT_EQ(subscribe->result().exitCode, 0) << subscribe->result().err;
  }
  std::unique_ptr<ChildProcess> subscriber(mosquittoSub(broker, session));

  const std::string url = "mqtt://127.0.0.1:" + std::to_string(broker.port()) + "/bench";
  std::unique_ptr<ChildProcess> logger(startLog({"--demo", "--mqtt", url, "--limit", "30"}));
  std::size_t before = 0;
  for (int waited = 0; waited < 600 && before < 8; ++waited) {
    subscriber->waitForExit(100ms);
    before = recordNumbers(subscriber->result().out).size();
  }
  ASSERT_GE(before, 8U) << logger->result().err;
  broker.stop();
  logger->waitForExit(5000ms);  // records go on meanwhile, queued
  ASSERT_TRUE(logger->running()) << "the logger ended while the broker was away";
  ASSERT_TRUE(broker.start());

  ASSERT_TRUE(logger->waitForExit(120000ms));
  EXPECT_EQ(logger->result().exitCode, 0) << logger->result().err;
  std::vector<int> numbers;
  for (int waited = 0; waited < 100; ++waited) {
    subscriber->waitForExit(100ms);
    numbers = recordNumbers(subscriber->result().out);
    if (!numbers.empty() && numbers.back() == 30) break;
  }
  std::vector<int> firsts;  // repeats dropped by their number, as a subscriber would
  std::set<int> seen;
  for (const int no : numbers) {
    if (seen.insert(no).second) firsts.push_back(no);
  }
  std::vector<int> expected(30);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(firsts, expected);
  std::printf("broker restart: 30 records sent, %zu received, %zu repeated\n", numbers.size(),
              numbers.size() - firsts.size());
  const std::string& err = logger->result().err;
  EXPECT_NE(err.find("30 records sent to the MQTT broker"), std::string::npos) << err;
  // The loss and the return of the broker are told, each once.
  const std::string where = "127.0.0.1:" + std::to_string(broker.port());
  const QString errText = QString::fromStdString(err);
  EXPECT_EQ(errText.count(QString::fromStdString("mqtt: lost the broker at " + where)), 1) << err;
  EXPECT_EQ(errText.count(QString::fromStdString("mqtt: connected to " + where)), 2) << err;

  std::unique_ptr<ChildProcess> status(
      mosquittoSub(broker, {"-t", "bench/status", "-C", "1", "-W", "10"}));
  ASSERT_TRUE(status->waitForExit(15000ms));
  EXPECT_EQ(status->result().out, "offline\n");
}

std::size_t lineCount(const std::string& bytes) {
  return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

// A broker that never answers (a listener whose backlog is full) beside a real one: the logger
// on the silent one records as many records as the one on the real broker, tells that it cannot
// reach it, and a SIGTERM ends it cleanly at once, its records all in its file and counted as
// not sent.
TEST(CliLogMqtt, ASilentBrokerNeitherSlowsTheRecordingNorHoldsTheStop) {
  if (!haveMosquitto()) GTEST_SKIP() << "no Mosquitto broker or mosquitto_sub installed";
  Broker broker;
  ASSERT_TRUE(broker.start());
  const SilentListener silent;
  ASSERT_TRUE(silent.full()) << "the listener's backlog could not be filled";
  QTemporaryDir dir;
  const std::string answeredFile = dir.filePath("answered.jsonl").toStdString();
  const std::string silentFile = dir.filePath("silent.jsonl").toStdString();
  const std::string silentWhere = "127.0.0.1:" + std::to_string(silent.port());
  std::unique_ptr<ChildProcess> answered(
      startLog({"--demo", "--format", "jsonl", "--out", answeredFile, "--mqtt",
                "mqtt://127.0.0.1:" + std::to_string(broker.port()) + "/answered"}));
  std::unique_ptr<ChildProcess> unanswered(
      startLog({"--demo", "--format", "jsonl", "--out", silentFile, "--mqtt",
                "mqtt://" + silentWhere + "/silent"}));
  // Past the first attempt's end (no answer within 10 s), and a few records on.
  const std::string noAnswer = "mqtt: cannot reach " + silentWhere + ": no answer";
  for (int waited = 0; waited < 300; ++waited) {
    answered->waitForExit(100ms);
    unanswered->waitForExit(1ms);  // reads what it wrote
    if (unanswered->result().err.find(noAnswer) != std::string::npos &&
        lineCount(fileBytes(answeredFile)) >= 12) {
      break;
    }
  }
  const std::size_t answeredCount = lineCount(fileBytes(answeredFile));
  const std::size_t silentCount = lineCount(fileBytes(silentFile));
  ASSERT_TRUE(unanswered->running()) << unanswered->result().err;
  EXPECT_NE(unanswered->result().err.find(noAnswer), std::string::npos) << unanswered->result().err;
  EXPECT_GE(answeredCount, 12U);
  EXPECT_GE(silentCount + 3, answeredCount) << "the silent broker slowed the recording";

  unanswered->sendSignal(SIGTERM);
  answered->sendSignal(SIGTERM);
  const bool ended = unanswered->waitForExit(10000ms);
  if (!ended) unanswered->sendSignal(SIGKILL);
  ASSERT_TRUE(ended) << "SIGTERM did not end the logger";
  ASSERT_TRUE(unanswered->result().exited()) << "ended by signal " << unanswered->result().signal;
  EXPECT_EQ(unanswered->result().exitCode, 1);  // its records were not sent
  const std::string silentBytes = fileBytes(silentFile);
  const std::vector<int> numbers = recordNumbers(silentBytes);
  std::vector<int> expected(numbers.size());
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(numbers, expected);
  EXPECT_NE(unanswered->result().err.find("0 records sent to the MQTT broker, " +
                                          std::to_string(numbers.size()) + " not sent"),
            std::string::npos)
      << unanswered->result().err;
  ASSERT_TRUE(answered->waitForExit(10000ms));
  EXPECT_EQ(answered->result().exitCode, 0) << answered->result().err;
}

// The last will: a logger killed outright leaves the retained status "offline", which a
// subscriber that comes later reads.
TEST(CliLogMqtt, AKilledLoggerLeavesTheRetainedOffline) {
  if (!haveMosquitto()) GTEST_SKIP() << "no Mosquitto broker or mosquitto_sub installed";
  Broker broker;
  ASSERT_TRUE(broker.start());
  std::unique_ptr<ChildProcess> watcher(mosquittoSub(broker, {"-t", "will/status", "-F", "%p"}));
  const std::string url = "mqtt://127.0.0.1:" + std::to_string(broker.port()) + "/will";
  std::unique_ptr<ChildProcess> logger(startLog({"--demo", "--mqtt", url}));
  const auto watched = [&](const std::string& status) {
    for (int waited = 0; waited < 200; ++waited) {
      if (watcher->result().out.find(status + "\n") != std::string::npos) return true;
      watcher->waitForExit(100ms);
    }
    return false;
  };
  ASSERT_TRUE(watched("online")) << logger->result().err;
  logger->sendSignal(SIGKILL);
  ASSERT_TRUE(logger->waitForExit(5000ms));
  ASSERT_TRUE(watched("offline")) << "no last will";

  std::unique_ptr<ChildProcess> later(
      mosquittoSub(broker, {"-t", "will/status", "-C", "1", "-W", "10", "-F", "%r %p"}));
  ASSERT_TRUE(later->waitForExit(15000ms));
  EXPECT_EQ(later->result().out, "1 offline\n") << "the last will is not retained";
}

// A broker on the IPv6 loopback address, given in brackets, gets the records.
TEST(CliLogMqtt, AnIpv6AddressInBracketsReachesTheBroker) {
  if (!haveMosquitto()) GTEST_SKIP() << "no Mosquitto broker or mosquitto_sub installed";
  if (!QFile::exists("/proc/net/if_inet6")) GTEST_SKIP() << "no IPv6 on this machine";
  Broker broker("::1");
  if (!broker.start()) GTEST_SKIP() << "no broker on ::1 (IPv6 loopback not configured)";
  // A persistent session made first, so that no record is missed however late the
  // subscriber itself connects.
  const std::vector<std::string> session{"-c", "-i", "ostrel-test-six", "-q",
                                         "1",  "-t", "six/readings"};
  std::vector<std::string> once = session;
  once.push_back("-E");
  std::unique_ptr<ChildProcess> subscribe(mosquittoSub(broker, once));
  ASSERT_TRUE(subscribe->waitForExit(10000ms));
  ASSERT_EQ(subscribe->result().exitCode, 0) << subscribe->result().err;
  std::vector<std::string> twoRecords = session;
  twoRecords.insert(twoRecords.end(), {"-C", "2", "-W", "60"});
  std::unique_ptr<ChildProcess> subscriber(mosquittoSub(broker, twoRecords));
  std::unique_ptr<ChildProcess> logger(
      startLog({"--demo", "--mqtt", "mqtt://[::1]:" + std::to_string(broker.port()) + "/six",
                "--limit", "2"}));
  ASSERT_TRUE(logger->waitForExit(60000ms));
  EXPECT_EQ(logger->result().exitCode, 0) << logger->result().err;
  EXPECT_NE(logger->result().err.find("2 records sent to the MQTT broker\n"), std::string::npos)
      << logger->result().err;
  ASSERT_TRUE(subscriber->waitForExit(15000ms));
  EXPECT_EQ(recordNumbers(subscriber->result().out), (std::vector<int>{1, 2}));
}

}  // namespace
