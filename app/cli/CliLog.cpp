// ostrel-cli log: records readings from the cable without a window, with the window's decoding,
// admission rules and link supervision, writing each admitted record to the file at once.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "CliCommands.h"
#include "CliLogOptions.h"
#include "CliLogOutput.h"
#include "CliMqtt.h"
#include "app/MeterLink.h"
#include "base/SystemCalls.h"
#include "decode/DecimalSeparator.h"
#include "decode/DisplayModel.h"
#include "link/ConnectionControl.h"
#include "link/LinuxHidPlatform.h"
#include "link/THidDevice.h"
#include "link/THidDeviceController.h"
#include "pipeline/FramePipeline.h"
#include "record/ReadingsTable.h"
#include "record/RecordingRules.h"
#include "sim/hid/SimHidPlatform.h"
#include "sim/meter/MeterScript.h"
#include "sim/meter/VirtualMeter.h"
#include "sim/uhid/FrameFile.h"
#include "ui/AppState.h"

namespace ostrel::cli {

namespace {

int signalPipe[2] = {-1, -1};  // written by the signal handler only

void onStopSignal(int /*signal*/) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

void printHistory(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

// How long the end waits for the broker to take what is queued: after the last record
// (--limit), and after a stop signal, which must end the logger within two seconds.
constexpr std::chrono::milliseconds endWait{10000};
constexpr std::chrono::milliseconds stopSignalWait{1000};

// The history line of the line settings the link sends to the cable at each connect: the
// report's bytes in hexadecimal, as the window's history shows them.
bool isLineSettingsLine(const std::string& line) {
  std::string bytes;
  for (const std::uint8_t byte : lineSettingsReport) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X ", static_cast<unsigned>(byte));
    bytes += pair;
  }
  return line.starts_with(bytes.substr(0, bytes.size() - 1));
}

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
  Result<LogOptions> parsed = parseLogOptions(args);
  if (!parsed.ok()) {
    std::fprintf(stderr, "ostrel-cli log: %s\n%s", parsed.message().c_str(), logUsage);
    return 2;
  }
  const LogOptions& options = parsed.value();
  std::optional<MqttAddress> mqttAddress;
  if (!options.mqtt.empty()) {
    Result<MqttAddress> address = parseMqttAddress(options.mqtt);
    if (!address.ok()) {
      std::fprintf(stderr, "ostrel-cli log: %s\n%s", address.message().c_str(), logUsage);
      return 2;
    }
    mqttAddress = std::move(address.value());
  }
  // The stop signals are caught before anything else is done, the network above all: a
  // SIGTERM at any moment from here on ends the recording cleanly.
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::fprintf(stderr, "ostrel-cli log: %s\n", reason(errno).c_str());
    return 1;
  }
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A write beyond a file size limit must fail as a full disk does, not end the process
  // before the file is cut back to whole records; a reader of the stream that goes away
  // fails the next write.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);

  // Made before the file is touched, so that a client that cannot be made (an unreadable
  // password file) changes nothing; it goes to the network only once the recording runs.
  std::unique_ptr<MqttPublisher> mqtt;
  if (mqttAddress) {
    Result<std::unique_ptr<MqttPublisher>> created =
        MqttPublisher::create(*mqttAddress, printHistory);
    if (!created.ok()) {
      std::fprintf(stderr, "ostrel-cli log: %s\n", created.message().c_str());
      return 1;
    }
    mqtt = std::move(created.value());
  }

  int argc = 1;
  char name[] = "ostrel-cli";
  char* argv[] = {name, nullptr};
  const QCoreApplication app(argc, argv);

  std::unique_ptr<HidPlatform> platform;
  std::unique_ptr<sim::VirtualMeter> meter;
  if (options.demo) {
    std::vector<sim::FrameBuilder::Frame> frames;
    if (!options.demoFrames.empty()) {
      Result<std::vector<sim::FrameBuilder::Frame>> read = readDemoFrames(options.demoFrames);
      if (!read.ok()) {
        std::fprintf(stderr, "ostrel-cli log: %s\n", read.message().c_str());
        return 1;
      }
      frames = std::move(read.value());
    } else if (options.fast) {
      frames = sim::demoSession(*options.fast);
    }
    auto sim = std::make_unique<SimHidPlatform>();
    meter = std::make_unique<sim::VirtualMeter>(*sim, std::move(frames));
    platform = std::move(sim);
  } else {
    platform = std::make_unique<LinuxHidPlatform>();
  }

  std::optional<RecordOutput> output;
  if (!options.outFile.empty()) output.emplace(options.format);
  AppState state;
  state.DecimalSeparatorText = decimalSeparatorFromLocale();
  DisplayModel display;
  ReadingsTable cds1;
  RecordingControls controls;
  controls.RepeatSet = !options.noRepeat;
  if (options.interval) {
    controls.RecordSI = true;
    controls.RecordSITime = *options.interval;
  }
  if (options.limit) state.recording.RecordLimit = *options.limit;
  RecordingRules rules(cds1, state.recording, controls);
  FramePipeline pipeline(display, state.reading, rules, state.DecimalSeparatorText);

  int status = 0;
  ConnectionControl::Callbacks callbacks;
  // The link's events (arrival, removal, read errors); the bytes of the line settings sent
  // to the cable at each connect are the window's history only.
  callbacks.historyLine = [](const std::string& line) {
    if (!isLineSettingsLine(line)) printHistory(line);
  };
  callbacks.showInfo = printHistory;
  if (!options.devicePath.empty()) {
    // A link to the node (the service's /dev/ostrel/SERIAL) names the node it points to.
    std::string path = options.devicePath;
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

  pipeline.setOfferedHook([&](int /*mode*/, bool recorded) {
    if (!recorded) return;
    const RecordFields record = cds1.record(cds1.recordCount() - 1);
    const bool needJson = mqtt || (output && output->format() == LogFormat::JsonLines);
    const std::string json = needJson ? jsonRecord(record, currentDeviceName()) : std::string();
    if (mqtt) mqtt->publish(json.substr(0, json.size() - 1));  // the object, without its LF
    if (output) {
      const std::string line = output->format() == LogFormat::JsonLines ? json : textRecord(record);
      if (const Result<> written = output->writeRecord(line); !written.ok()) {
        std::fprintf(stderr, "ostrel-cli log: cannot write %s: %s\n", output->name().c_str(),
                     written.message().c_str());
        status = 1;
        QCoreApplication::exit(status);
        return;
      }
    }
    if (options.limit && record.No && *record.No >= *options.limit) QCoreApplication::exit(0);
  });

  if (link.DevListBoxItemIndex < 0) {
    std::fprintf(stderr, "ostrel-cli log: %s\n",
                 options.devicePath.empty() ? "no USB to Serial cable found"
                                            : ("no HID device at " + options.devicePath).c_str());
    return 1;
  }
  if (output) {
    if (const Result<> opened = output->open(options); !opened.ok()) {
      std::fprintf(stderr, "ostrel-cli log: %s\n", opened.message().c_str());
      return 1;
    }
    if (output->lastNo() > 0) {
      if (options.limit && output->lastNo() >= *options.limit) {
        std::fprintf(stderr, "ostrel-cli log: %s already reaches record number %d (--limit)\n",
                     output->name().c_str(), static_cast<int>(output->lastNo()));
        return 1;
      }
      state.recording.RecordNo = output->lastNo() + 1;  // numbering goes on
    }
  }
  if (mqtt) mqtt->start();

  bool stopSignalled = false;
  QSocketNotifier stopNotifier(signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&stopNotifier, &QSocketNotifier::activated, &stopNotifier, [&stopSignalled] {
    stopSignalled = true;
    QCoreApplication::exit(0);
  });

  QTimer sampling;
  sampling.setInterval(1000);
  QObject::connect(&sampling, &QTimer::timeout, &sampling,
                   [&rules] { rules.SampInterTimeTimer(); });
  if (controls.RecordSI) sampling.start();

  connection.Panel2Click();
  if (!link.USBConDown) return 1;  // the device could not be opened for reading
  const int result = QCoreApplication::exec();
  connection.shutdown();  // reading ends before the file and the devices go away
  if (mqtt) {
    // What is queued goes out, then the retained "offline"; a broker still away after this
    // wait gets nothing more (the records stay in the file). After a stop signal the wait is
    // short: a service manager's stop must not wait on a broker.
    mqtt->finish(stopSignalled ? stopSignalWait : endWait);
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
