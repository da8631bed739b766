#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
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

  const std::string err = process->result().err;
  EXPECT_NE(err.find("00 60 09 00 00 03 00 00 00 00 "), std::string::npos);
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
        FailCase{"NoFrameFile",
                 {"--demo-frames", "/nonexistent-dir/frames.txt", "--out", "-"},
                 1,
                 "cannot open /nonexistent-dir/frames.txt"},
        FailCase{"FramesAndADevice",
                 {"--demo-frames", "frames.txt", "--device", "/dev/hidraw-none", "--out", "-"},
                 2,
                 "usage"},
        FailCase{"NoOutput", {"--demo"}, 2, "usage: ostrel-cli log"},
        FailCase{"BadLimit", {"--demo", "--out", "/tmp/x.txt", "--limit", "0"}, 2, "usage"},
        FailCase{"AppendAndOverwrite",
                 {"--demo", "--out", "/tmp/x.txt", "--append", "--overwrite"},
                 2,
                 "usage"},
        FailCase{"AppendToAStream", {"--demo", "--out", "-", "--append"}, 2, "usage"},
        FailCase{"UnknownFormat", {"--demo", "--out", "-", "--format", "csv"}, 2, "usage"},
        FailCase{"FastWithoutDemo", {"--out", "-", "--fast", "10"}, 2, "usage"},
        FailCase{"FastBeyondItsRange", {"--demo", "--out", "-", "--fast", "61"}, 2, "usage"},
        FailCase{"FastWithAFrameFile",
                 {"--demo-frames", "frames.txt", "--out", "-", "--fast", "10"},
                 2,
                 "usage"},
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

// A Mosquitto broker of the test's own on 127.0.0.1, with persistence in a private folder so
// that a restart keeps subscriptions and queued messages.
class Broker {
 public:
  static constexpr const char* program = "/usr/sbin/mosquitto";

  Broker() : m_port(freeLoopbackPort()) {
    const std::string folder = m_dir.path().toStdString();
    m_config = folder + "/mosquitto.conf";
    std::ofstream config(m_config);
    config << "listener " << m_port << " 127.0.0.1\n"
           << "allow_anonymous true\n"
           << "persistence true\n"
           << "persistence_location " << folder << "/\n"
           << "log_dest stderr\n";
  }
  [[nodiscard]] int port() const { return m_port; }

  // Starts the broker and waits until it takes connections.
  bool start() {
    m_process = std::make_unique<ChildProcess>(program, std::vector<std::string>{"-c", m_config});
    for (int tries = 0; tries < 100; ++tries) {
      if (!m_process->running()) return false;
      const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(static_cast<std::uint16_t>(m_port));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
      ::close(fd);
      if (up) return true;
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
  int m_port;
  std::string m_config;
  std::unique_ptr<ChildProcess> m_process;
};

std::unique_ptr<ChildProcess> mosquittoSub(const Broker& broker,
                                           std::vector<std::string> arguments) {
  std::vector<std::string> all{"-h", "127.0.0.1", "-p", std::to_string(broker.port())};
  all.insert(all.end(), arguments.begin(), arguments.end());
  return std::make_unique<ChildProcess>("/usr/bin/mosquitto_sub", all);
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
  if (::access(Broker::program, X_OK) != 0 || ::access("/usr/bin/mosquitto_sub", X_OK) != 0) {
    GTEST_SKIP() << "no Mosquitto broker or mosquitto_sub installed";
  }
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
  EXPECT_NE(logger->result().err.find("30 records sent to the MQTT broker"), std::string::npos)
      << logger->result().err;

  std::unique_ptr<ChildProcess> status(
      mosquittoSub(broker, {"-t", "bench/status", "-C", "1", "-W", "10"}));
  ASSERT_TRUE(status->waitForExit(15000ms));
  EXPECT_EQ(status->result().out, "offline\n");
}

}  // namespace
