// ostrel-cli log: records readings from the cable without a window, with the window's decoding,
// admission rules and link supervision, writing each admitted record to the file at once.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>

#include "CliCommands.h"
#include "CliMqtt.h"
#include "app/MeterLink.h"
#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "decode/DecimalSeparator.h"
#include "decode/DisplayModel.h"
#include "link/ConnectionControl.h"
#include "link/LinuxHidPlatform.h"
#include "link/THidDevice.h"
#include "link/THidDeviceController.h"
#include "pipeline/FramePipeline.h"
#include "record/GbkText.h"
#include "record/JournalFile.h"
#include "record/ReadingNumber.h"
#include "record/ReadingsTable.h"
#include "record/RecordingRules.h"
#include "record/TableFiles.h"
#include "record/TextTableFormat.h"
#include "record/TimeText.h"
#include "sim/hid/SimHidPlatform.h"
#include "sim/meter/MeterScript.h"
#include "sim/meter/VirtualMeter.h"
#include "sim/uhid/FrameFile.h"
#include "ui/AppState.h"

namespace ostrel::cli {

namespace {

constexpr const char* logUsage =
    "usage: ostrel-cli log [--demo | --demo-frames FILE | --device PATH] "
    "[--out FILE|- [--append | --overwrite]] [--format text|jsonl] [--mqtt URL] [--limit N] "
    "[--interval S] [--no-repeat] [--fast N]\n";

enum class Format { Text, JsonLines };

struct LogOptions {
  bool demo = false;
  std::string demoFrames;  // the virtual meter's frames come from this file
  std::string devicePath;
  std::string outFile;  // "-": standard output
  bool append = false;
  bool overwrite = false;
  Format format = Format::Text;
  std::string mqtt;
  std::optional<std::int32_t> limit;
  std::optional<std::string> interval;
  bool noRepeat = false;
  std::optional<int> fast;  // the virtual meter's clock speed (--demo only)
};

bool parsePositive(const std::string& text, std::int32_t& value) {
  try {
    std::size_t used = 0;
    const long parsed = std::stol(text, &used);
    if (used != text.size() || parsed < 1 || parsed > INT32_MAX) return false;
    value = static_cast<std::int32_t>(parsed);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::optional<LogOptions> parseOptions(const std::vector<std::string>& args) {
  LogOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--demo") {
      options.demo = true;
    } else if (arg == "--no-repeat") {
      options.noRepeat = true;
    } else if (arg == "--append") {
      options.append = true;
    } else if (arg == "--overwrite") {
      options.overwrite = true;
    } else if (arg == "--demo-frames" && hasValue) {
      options.demo = true;
      options.demoFrames = args[++i];
    } else if (arg == "--device" && hasValue) {
      options.devicePath = args[++i];
    } else if (arg == "--out" && hasValue) {
      options.outFile = args[++i];
    } else if (arg == "--mqtt" && hasValue) {
      options.mqtt = args[++i];
    } else if (arg == "--format" && hasValue) {
      const std::string& format = args[++i];
      if (format == "text") {
        options.format = Format::Text;
      } else if (format == "jsonl") {
        options.format = Format::JsonLines;
      } else {
        return std::nullopt;
      }
    } else if (arg == "--limit" && hasValue) {
      std::int32_t limit = 0;
      if (!parsePositive(args[++i], limit)) return std::nullopt;
      options.limit = limit;
    } else if (arg == "--fast" && hasValue) {
      options.fast = sim::clockSpeedFromText(args[++i]);
      if (!options.fast) return std::nullopt;
    } else if (arg == "--interval" && hasValue) {
      std::int32_t seconds = 0;
      if (!parsePositive(args[++i], seconds)) return std::nullopt;
      options.interval = std::to_string(seconds);
    } else {
      return std::nullopt;
    }
  }
  if (options.outFile.empty() && options.mqtt.empty()) return std::nullopt;
  if (options.demo && !options.devicePath.empty()) return std::nullopt;
  // Only the virtual meter's own demonstration has a clock; a frame file plays as it is.
  if (options.fast && (!options.demo || !options.demoFrames.empty())) return std::nullopt;
  if (options.append && options.overwrite) return std::nullopt;
  if ((options.append || options.overwrite) &&
      (options.outFile.empty() || options.outFile == "-")) {
    return std::nullopt;
  }
  return options;
}

void appendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void appendJsonText(std::string& out, const std::optional<std::string>& gbk) {
  if (gbk) {
    appendJsonString(out, gbkToUtf8(*gbk));
  } else {
    out += "null";
  }
}

// Now as ISO 8601 local time with the date, milliseconds and the UTC offset:
// 2026-12-11T09:30:01.250+01:00.
std::string isoTimeNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) %
                  std::chrono::milliseconds(1000);
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  const long offset = local.tm_gmtoff / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%s.%03d%c%02ld:%02ld", date, static_cast<int>(ms.count()),
                offset < 0 ? '-' : '+', std::labs(offset) / 60, std::labs(offset) % 60);
  return text;
}

// One record as a JSON object on one line (UTF-8, ending in LF).
std::string jsonRecord(const RecordFields& record, const std::string& device) {
  std::string out = "{\"no\":";
  out += record.No ? std::to_string(*record.No) : "null";
  out += ",\"time\":";
  appendJsonString(out, isoTimeNow());
  out += ",\"value\":";
  appendJsonText(out, record.Value);
  out += ",\"number\":";
  const std::optional<double> number =
      record.Value ? readingNumber(*record.Value, record.Unit.value_or("")) : std::nullopt;
  if (number) {
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, *number);
    out.append(digits, result.ptr);
  } else {
    out += "null";
  }
  out += ",\"unit\":";
  appendJsonText(out, record.Unit);
  out += ",\"function\":";
  appendJsonText(out, record.V_Range);
  out += ",\"mode\":";
  appendJsonText(out, record.I_Range);
  out += ",\"test_time_s\":";
  out += record.TestTime ? std::to_string(*record.TestTime) : "null";
  out += ",\"device\":";
  appendJsonString(out, device);
  out += "}\n";
  return out;
}

// One record as a line of the "Save Data" text table (GBK, ending in CRLF).
std::string textRecord(const RecordFields& record) {
  ReadingsTable one;
  one.append(record);
  std::string line;
  appendTextRecordLine(line, one, 0, LongTimeFormat::fromEnvironment());
  return line;
}

// The number of the last whole record of an existing file of the given format, with the
// length of its whole records (the text header included); nothing when the file is not one.
struct ExistingRecords {
  std::uint64_t wholeLength = 0;
  std::int32_t lastNo = 0;
};

std::optional<ExistingRecords> scanExisting(const std::string& bytes, Format format) {
  ExistingRecords existing;
  std::size_t linesStart = 0;
  if (format == Format::Text) {
    const std::string& header = JournalFile::headerLine();
    if (!bytes.starts_with(header)) return std::nullopt;
    linesStart = header.size();
  }
  const std::string_view end = format == Format::Text ? textLineEnd : "\n";
  const std::size_t last = bytes.rfind(end);
  existing.wholeLength =
      last == std::string::npos || last + end.size() <= linesStart ? linesStart : last + end.size();
  if (existing.wholeLength == linesStart) return existing;
  std::size_t lineStart = bytes.rfind(end, existing.wholeLength - end.size() - 1);
  lineStart = lineStart == std::string::npos || lineStart < linesStart ? linesStart
                                                                       : lineStart + end.size();
  std::string_view line(bytes.data() + lineStart, existing.wholeLength - lineStart);
  if (format == Format::JsonLines) {
    constexpr std::string_view key = "{\"no\":";
    if (!line.starts_with(key)) return std::nullopt;
    line.remove_prefix(key.size());
  }
  const auto [ptr, error] =
      std::from_chars(line.data(), line.data() + line.size(), existing.lastNo);
  if (error != std::errc() || existing.lastNo < 0) return std::nullopt;
  return existing;
}

// Where the records go: the file (text table or JSON Lines) as records come. A file only
// ever holds whole records: a line that cannot be written whole (a full disk) is cut off
// again. An open-file-description lock on the file keeps a second logger from writing into
// it. The window's recording journal is the same kind of file, so its JournalFile does the
// locking and the whole-line writing here too. Standard output ("-") gets the same lines,
// neither locked nor cut.
class RecordOutput {
 public:
  explicit RecordOutput(Format format) : m_format(format) {}

  // Opens, locks and prepares the file. An existing file that holds anything is kept unless
  // the user chose: append continues after its last whole record, overwrite empties it.
  // Fails with why not; a file refused is left as it is.
  Result<> open(const LogOptions& options) {
    const std::string& name = options.outFile;
    if (name == "-") {
      m_stdout = true;
      m_name = "standard output";
      if (m_format == Format::Text) return writeOut(JournalFile::headerLine());
      return {};
    }
    m_name = name;
    struct stat info {};
    if (::stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
      return Result<>::failure("cannot write " + name +
                               ": not a regular file (give --out - for a stream)");
    }
    // Non-blocking: a FIFO put there meanwhile must not hold the command.
    UniqueFd fd(::open(name.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
    if (!fd.valid()) return Result<>::failure("cannot write " + name + ": " + reason(errno));
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
      return Result<>::failure("cannot write " + name + ": not a regular file");
    }
    if (!lockJournal(fd.get())) {
      const int error = errno;
      if (error == EAGAIN || error == EACCES) {
        return Result<>::failure(name + " is in use by another logger; nothing was changed");
      }
      return Result<>::failure("cannot lock " + name + ": " + reason(error));
    }
    std::uint64_t wholeLength = 0;
    if (info.st_size > 0 && !options.overwrite) {
      if (!options.append) {
        return Result<>::failure(name +
                                 " already holds records; nothing was changed. Give --append to " +
                                 "continue it (numbering on) or --overwrite to replace it");
      }
      std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
      std::size_t got = 0;
      const int error = readAllAt(fd.get(), bytes.data(), bytes.size(), 0, got);
      if (error != 0 || got != bytes.size()) {
        return Result<>::failure("cannot read " + name + (error != 0 ? ": " + reason(error) : ""));
      }
      const std::optional<ExistingRecords> existing = scanExisting(bytes, m_format);
      if (!existing) {
        return Result<>::failure(name + std::string(" is not a ") +
                                 (m_format == Format::Text ? "text table" : "JSON Lines record") +
                                 " file; nothing was changed");
      }
      wholeLength = existing->wholeLength;
      m_lastNo = existing->lastNo;
    }
    // Owns and closes the descriptor from here on.
    m_file = std::make_unique<JournalFile>(std::move(fd), name, wholeLength);
    if (const Result<> cut = m_file->cutBack(); !cut.ok()) {
      return Result<>::failure("cannot write " + name + ": " + cut.message());
    }
    if (m_format == Format::Text && wholeLength == 0) {
      if (const Result<> written = m_file->appendLine(JournalFile::headerLine()); !written.ok()) {
        return Result<>::failure("cannot write " + name + ": " + written.message());
      }
    }
    return {};
  }

  // Fails with the reason when the record was not written whole; a file then still ends
  // after the last whole record.
  Result<> writeRecord(const std::string& line) {
    Result<> written = m_stdout ? writeOut(line) : m_file->appendLine(line);
    if (written.ok()) ++m_records;
    return written;
  }

  [[nodiscard]] Format format() const { return m_format; }
  [[nodiscard]] const std::string& name() const { return m_name; }
  [[nodiscard]] std::size_t recordsWritten() const { return m_records; }
  // The number of the last record of a file appended to; 0 otherwise.
  [[nodiscard]] std::int32_t lastNo() const { return m_lastNo; }

 private:
  static Result<> writeOut(std::string_view bytes) {
    const int error = writeAll(STDOUT_FILENO, bytes);
    return error == 0 ? Result<>() : Result<>::failure(reason(error));
  }

  Format m_format;
  bool m_stdout = false;
  std::string m_name;
  std::unique_ptr<JournalFile> m_file;
  std::size_t m_records = 0;
  std::int32_t m_lastNo = 0;
};

int signalPipe[2] = {-1, -1};  // written by the signal handler only

void onStopSignal(int /*signal*/) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

void printHistory(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

// The frames of a --demo-frames file (one frame per line in hexadecimal, as the virtual
// cable plays them), each a whole frame of the meter; a failure with the reason otherwise.
Result<std::vector<sim::FrameBuilder::Frame>> readDemoFrames(const std::string& path) {
  using Frames = std::vector<sim::FrameBuilder::Frame>;
  const uhid::FrameFileResult read = uhid::readFrameFile(path);
  if (!read.error.empty()) return Result<Frames>::failure(read.error);
  Frames frames;
  for (const uhid::SerialFrame& bytes : read.frames) {
    sim::FrameBuilder::Frame frame{};
    if (bytes.size() != frame.size()) {
      return Result<Frames>::failure(path + ": frame " + std::to_string(frames.size() + 1) +
                                     " has " + std::to_string(bytes.size()) + " bytes, not " +
                                     std::to_string(frame.size()));
    }
    std::copy(bytes.begin(), bytes.end(), frame.begin());
    frames.push_back(frame);
  }
  return frames;
}

}  // namespace

int runLog(const std::vector<std::string>& args) {
  const std::optional<LogOptions> options = parseOptions(args);
  if (!options) {
    std::fputs(logUsage, stderr);
    return 2;
  }
  std::optional<MqttAddress> mqttAddress;
  if (!options->mqtt.empty()) {
    Result<MqttAddress> parsed = parseMqttAddress(options->mqtt);
    if (!parsed.ok()) {
      std::fprintf(stderr, "ostrel-cli log: %s\n%s", parsed.message().c_str(), logUsage);
      return 2;
    }
    mqttAddress = std::move(parsed.value());
  }
  int argc = 1;
  char name[] = "ostrel-cli";
  char* argv[] = {name, nullptr};
  const QCoreApplication app(argc, argv);

  std::unique_ptr<HidPlatform> platform;
  std::unique_ptr<sim::VirtualMeter> meter;
  if (options->demo) {
    std::vector<sim::FrameBuilder::Frame> frames;
    if (!options->demoFrames.empty()) {
      Result<std::vector<sim::FrameBuilder::Frame>> read = readDemoFrames(options->demoFrames);
      if (!read.ok()) {
        std::fprintf(stderr, "ostrel-cli log: %s\n", read.message().c_str());
        return 1;
      }
      frames = std::move(read.value());
    } else if (options->fast) {
      frames = sim::demoSession(*options->fast);
    }
    auto sim = std::make_unique<SimHidPlatform>();
    meter = std::make_unique<sim::VirtualMeter>(*sim, std::move(frames));
    platform = std::move(sim);
  } else {
    platform = std::make_unique<LinuxHidPlatform>();
  }

  std::optional<RecordOutput> output;
  if (!options->outFile.empty()) output.emplace(options->format);
  AppState state;
  state.DecimalSeparatorText = decimalSeparatorFromLocale();
  DisplayModel display;
  ReadingsTable cds1;
  RecordingControls controls;
  controls.RepeatSet = !options->noRepeat;
  if (options->interval) {
    controls.RecordSI = true;
    controls.RecordSITime = *options->interval;
  }
  if (options->limit) state.recording.RecordLimit = *options->limit;
  RecordingRules rules(cds1, state.recording, controls);
  FramePipeline pipeline(display, state.reading, rules, state.DecimalSeparatorText);

  int status = 0;
  ConnectionControl::Callbacks callbacks;
  callbacks.historyLine = printHistory;
  callbacks.showInfo = printHistory;
  if (!options->devicePath.empty()) {
    // A link to the node (the service's /dev/ostrel/SERIAL) names the node it points to.
    std::string path = options->devicePath;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      path = real;
      std::free(real);
    }
    callbacks.isCable = [path](THidDevice& device, const std::string&) {
      return device.PnPInfo().DevicePath == path;
    };
  }
  THidDeviceController controller(*platform);
  LinkControls link;
  MeterLink meterLink(controller, link, state.assembler, pipeline, std::move(callbacks));
  ConnectionControl& connection = meterLink.connection();

  // The cable's serial number, or its path when it has none; asked once per device.
  const THidDevice* namedDevice = nullptr;
  std::string deviceName;
  const auto currentDeviceName = [&]() -> const std::string& {
    THidDevice* device = connection.SelectedDevice();
    if (device && device != namedDevice) {
      namedDevice = device;
      deviceName = QString::fromStdU16String(device->SerialNumberString()).trimmed().toStdString();
      if (deviceName.empty()) deviceName = device->PnPInfo().DevicePath;
    }
    return deviceName;
  };

  std::unique_ptr<MqttPublisher> mqtt;
  pipeline.setOfferedHook([&](int /*mode*/, bool recorded) {
    if (!recorded) return;
    const RecordFields record = cds1.record(cds1.recordCount() - 1);
    const bool needJson = mqtt || (output && output->format() == Format::JsonLines);
    const std::string json = needJson ? jsonRecord(record, currentDeviceName()) : std::string();
    if (mqtt) mqtt->publish(json.substr(0, json.size() - 1));  // the object, without its LF
    if (output) {
      const std::string line = output->format() == Format::JsonLines ? json : textRecord(record);
      if (const Result<> written = output->writeRecord(line); !written.ok()) {
        std::fprintf(stderr, "ostrel-cli log: cannot write %s: %s\n", output->name().c_str(),
                     written.message().c_str());
        status = 1;
        QCoreApplication::exit(status);
        return;
      }
    }
    if (options->limit && record.No && *record.No >= *options->limit) QCoreApplication::exit(0);
  });

  if (link.DevListBoxItemIndex < 0) {
    std::fprintf(stderr, "ostrel-cli log: %s\n",
                 options->devicePath.empty() ? "no USB to Serial cable found"
                                             : ("no HID device at " + options->devicePath).c_str());
    return 1;
  }
  // A write beyond a file size limit must fail as a full disk does, not end the process
  // before the file is cut back to whole records; a reader of the stream that goes away
  // fails the next write.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  if (output) {
    if (const Result<> opened = output->open(*options); !opened.ok()) {
      std::fprintf(stderr, "ostrel-cli log: %s\n", opened.message().c_str());
      return 1;
    }
    if (output->lastNo() > 0) {
      if (options->limit && output->lastNo() >= *options->limit) {
        std::fprintf(stderr, "ostrel-cli log: %s already reaches record number %d (--limit)\n",
                     output->name().c_str(), static_cast<int>(output->lastNo()));
        return 1;
      }
      state.recording.RecordNo = output->lastNo() + 1;  // numbering goes on
    }
  }
  QTimer mqttPoll;
  if (mqttAddress) {
    Result<std::unique_ptr<MqttPublisher>> created =
        MqttPublisher::create(*mqttAddress, printHistory);
    if (!created.ok()) {
      std::fprintf(stderr, "ostrel-cli log: %s\n", created.message().c_str());
      return 1;
    }
    mqtt = std::move(created.value());
    mqttPoll.setInterval(20);
    QObject::connect(&mqttPoll, &QTimer::timeout, &mqttPoll, [&mqtt] { mqtt->poll(); });
    mqtt->poll();
    mqttPoll.start();
  }

  if (::pipe(signalPipe) != 0) {
    std::fprintf(stderr, "ostrel-cli log: %s\n", reason(errno).c_str());
    return 1;
  }
  QSocketNotifier stopNotifier(signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&stopNotifier, &QSocketNotifier::activated, &stopNotifier,
                   [] { QCoreApplication::exit(0); });
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  QTimer sampling;
  sampling.setInterval(1000);
  QObject::connect(&sampling, &QTimer::timeout, &sampling,
                   [&rules] { rules.SampInterTimeTimer(); });
  if (controls.RecordSI) sampling.start();

  connection.Panel2Click();
  if (!link.USBConDown) return 1;  // the device could not be opened for reading
  const int result = QCoreApplication::exec();
  connection.shutdown();  // reading ends before the file and the devices go away
  mqttPoll.stop();
  if (mqtt) {
    // What is queued goes out, then the retained "offline"; a broker still away after this
    // wait gets nothing more (the records stay in the file).
    mqtt->finish(std::chrono::seconds(10));
    std::fprintf(stderr, "%zu records sent to the MQTT broker", mqtt->acknowledged());
    if (mqtt->queued() + mqtt->dropped() > 0) {
      std::fprintf(stderr, ", %zu not sent", mqtt->queued() + mqtt->dropped());
      if (status == 0) status = 1;
    }
    std::fputs("\n", stderr);
  }
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  ::close(signalPipe[0]);
  ::close(signalPipe[1]);
  if (output) {
    std::fprintf(stderr, "%zu records written to %s\n", output->recordsWritten(),
                 output->name().c_str());
  }
  return status != 0 ? status : result;
}

}  // namespace ostrel::cli
