// ostrel-cli log: records readings from the cable without a window, with the window's decoding,
// admission rules and link supervision, writing each admitted record to the file at once.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "CliCommands.h"
#include "decode/DecimalSeparator.h"
#include "decode/DisplayModel.h"
#include "link/ConnectionControl.h"
#include "link/LinuxHidPlatform.h"
#include "link/THidDevice.h"
#include "link/THidDeviceController.h"
#include "pipeline/FramePipeline.h"
#include "record/JournalFile.h"
#include "record/ReadingsTable.h"
#include "record/RecordingRules.h"
#include "record/TableFiles.h"
#include "record/TimeText.h"
#include "sim/hid/SimHidPlatform.h"
#include "sim/meter/VirtualMeter.h"
#include "ui/AppState.h"

namespace ostrel::cli {

namespace {

constexpr const char* logUsage =
    "usage: ostrel-cli log [--demo | --device PATH] --out FILE [--limit N] [--interval S] "
    "[--no-repeat]\n";

struct LogOptions {
  bool demo = false;
  std::string devicePath;
  std::string outFile;
  std::optional<std::int32_t> limit;
  std::optional<std::string> interval;
  bool noRepeat = false;
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
    } else if (arg == "--device" && hasValue) {
      options.devicePath = args[++i];
    } else if (arg == "--out" && hasValue) {
      options.outFile = args[++i];
    } else if (arg == "--limit" && hasValue) {
      std::int32_t limit = 0;
      if (!parsePositive(args[++i], limit)) return std::nullopt;
      options.limit = limit;
    } else if (arg == "--interval" && hasValue) {
      std::int32_t seconds = 0;
      if (!parsePositive(args[++i], seconds)) return std::nullopt;
      options.interval = std::to_string(seconds);
    } else {
      return std::nullopt;
    }
  }
  if (options.outFile.empty() || (options.demo && !options.devicePath.empty())) return std::nullopt;
  return options;
}

// The "Save Data" text file, written as records come: the header at once, then each record
// as one CRLF line. The file only ever holds whole records: a line that cannot be written
// whole (a full disk) is cut off again. An open-file-description lock on the file keeps a
// second logger from writing into it. The window's recording journal is the same kind of
// file, so its JournalFile does the locking and the whole-line writing here too.
class RecordFile {
 public:
  // Opens and locks the file, then empties it and writes the header. Empty on success,
  // otherwise why not; a file another logger holds is left as it is.
  std::string create(const std::string& name) {
    struct stat info {};
    if (::stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
      return "cannot write " + name + ": not a regular file";
    }
    // Non-blocking: a FIFO put there meanwhile must not hold the command.
    const int fd =
        ::open(name.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return "cannot write " + name + ": " + std::strerror(errno);
    // Owns and closes the descriptor from here on; its first line empties the file.
    m_file = std::make_unique<JournalFile>(fd, name, 0);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      return "cannot write " + name + ": not a regular file";
    }
    if (!lockJournal(fd)) {
      if (errno == EAGAIN || errno == EACCES) {
        return name + " is in use by another logger; nothing was changed";
      }
      return "cannot lock " + name + ": " + std::strerror(errno);
    }
    if (const std::string error = m_file->appendLine(JournalFile::headerLine()); !error.empty()) {
      return "cannot write " + name + ": " + error;
    }
    return {};
  }

  // Empty when the record was written whole, otherwise why not; the file then still ends
  // after the last whole record.
  std::string writeRecord(const RecordFields& record) {
    ReadingsTable one;
    one.append(record);
    const std::string text = writeTextTable(one, LongTimeFormat::fromEnvironment());
    std::string error =
        m_file->appendLine(std::string_view(text).substr(JournalFile::headerLine().size()));
    if (error.empty()) ++m_records;
    return error;
  }

  [[nodiscard]] std::size_t recordsWritten() const { return m_records; }

 private:
  std::unique_ptr<JournalFile> m_file;
  std::size_t m_records = 0;
};

int g_signalPipe[2] = {-1, -1};  // written by the signal handler only

void onStopSignal(int /*signal*/) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

void printHistory(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

}  // namespace

int runLog(const std::vector<std::string>& args) {
  const std::optional<LogOptions> options = parseOptions(args);
  if (!options) {
    std::fputs(logUsage, stderr);
    return 2;
  }
  int argc = 1;
  char name[] = "ostrel-cli";
  char* argv[] = {name, nullptr};
  const QCoreApplication app(argc, argv);

  std::unique_ptr<HidPlatform> platform;
  std::unique_ptr<sim::VirtualMeter> meter;
  if (options->demo) {
    auto sim = std::make_unique<SimHidPlatform>();
    meter = std::make_unique<sim::VirtualMeter>(*sim);
    platform = std::move(sim);
  } else {
    platform = std::make_unique<LinuxHidPlatform>();
  }

  RecordFile file;
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
  callbacks.showFrame = pipeline.frameHandler();
  callbacks.historyLine = printHistory;
  callbacks.showInfo = printHistory;
  if (!options->devicePath.empty()) {
    callbacks.isCable = [path = options->devicePath](THidDevice& device, const std::string&) {
      return device.PnPInfo().DevicePath == path;
    };
  }
  THidDeviceController controller(*platform);
  LinkControls link;
  ConnectionControl connection(controller, link, state.assembler, callbacks);
  pipeline.setTimer2RestartHook([&connection] { connection.restartTimer2(); });
  pipeline.setOfferedHook([&](int /*mode*/, bool recorded) {
    if (!recorded) return;
    if (const std::string error = file.writeRecord(cds1.record(cds1.recordCount() - 1));
        !error.empty()) {
      std::fprintf(stderr, "ostrel-cli log: cannot write %s: %s\n", options->outFile.c_str(),
                   error.c_str());
      status = 1;
      QCoreApplication::exit(status);
    } else if (options->limit && static_cast<std::int32_t>(cds1.recordCount()) >= *options->limit) {
      QCoreApplication::exit(0);
    }
  });

  if (link.DevListBoxItemIndex < 0) {
    std::fprintf(stderr, "ostrel-cli log: %s\n",
                 options->devicePath.empty() ? "no USB to Serial cable found"
                                             : ("no HID device at " + options->devicePath).c_str());
    return 1;
  }
  // A write beyond a file size limit must fail as a full disk does, not end the process
  // before the file is cut back to whole records.
  std::signal(SIGXFSZ, SIG_IGN);
  if (const std::string error = file.create(options->outFile); !error.empty()) {
    std::fprintf(stderr, "ostrel-cli log: %s\n", error.c_str());
    return 1;
  }

  if (::pipe(g_signalPipe) != 0) {
    std::fprintf(stderr, "ostrel-cli log: %s\n", std::strerror(errno));
    return 1;
  }
  QSocketNotifier stopNotifier(g_signalPipe[0], QSocketNotifier::Read);
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
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  ::close(g_signalPipe[0]);
  ::close(g_signalPipe[1]);
  std::fprintf(stderr, "%zu records written to %s\n", file.recordsWritten(),
               options->outFile.c_str());
  return status != 0 ? status : result;
}

}  // namespace ostrel::cli
