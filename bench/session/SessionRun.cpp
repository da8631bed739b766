// session_run: the desktop program's window and link on the virtual meter, measured from inside
// its own process (CPU time from getrusage, heap in use from mallinfo2). See ../README.md.
//
//   session_run idle [--seconds S]
//       Connects, lets frames flow, then measures S seconds (default 30) each of: frames
//       flowing, a link connected anew to a meter whose line is quiet, a meter sending only
//       reports without data after frames flowed, and a silent meter. The last two run the
//       retry cycle. Prints the share of one core and the wake-ups per second, of the process
//       and of the main thread.
//   session_run long [--minutes M] [--cycle-seconds C]
//       An unattended session of M minutes (default 60) in cycles of C seconds (default 600):
//       frames 75 %, reports without data 10 %, silence 10 %, unplugged 5 %, then plugged in
//       again. Prints the heap, the records and the history at the end of every phase, and a
//       summary: heap growth where no record was added, bytes per record where they were, and
//       every history line matched to the link event that wrote it.
#include <malloc.h>
#include <sys/resource.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/WindowLink.h"
#include "sim/hid/SimHidPlatform.h"
#include "sim/meter/VirtualMeter.h"
#include "ui/AppState.h"
#include "ui/ReportAndChart.h"
#include "ui/TFrmTest.h"

namespace {

using Clock = std::chrono::steady_clock;

struct ProcessTimes {
  double cpuSeconds = 0;
  long wakeUps = 0;            // voluntary context switches: each blocking wait that ended
  long mainThreadWakeUps = 0;  // the same for the calling (main) thread alone
};

// Call on the main thread.
ProcessTimes processTimes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  rusage mainThread{};
  getrusage(RUSAGE_THREAD, &mainThread);
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_nvcsw, mainThread.ru_nvcsw};
}

long long heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long long>(info.uordblks) + static_cast<long long>(info.hblkhd);
}

// Runs the event loop for the given time, as the program's main loop does.
void runFor(std::chrono::milliseconds time) {
  QEventLoop loop;
  QTimer::singleShot(time, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

bool runUntil(const std::function<bool()>& done, std::chrono::seconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!done() && Clock::now() < deadline) runFor(std::chrono::milliseconds(50));
  return done();
}

// The program as main() assembles it, with the virtual meter as its only device.
struct Program {
  ostrel::AppState state;
  ostrel::SimHidPlatform platform;
  ostrel::sim::VirtualMeter meter{platform};
  ostrel::TFrmTest window{state};
  ostrel::ReportAndChart reportAndChart{window, state};
  ostrel::WindowLink link{window, platform, " (virtual meter)"};

  Program() { window.show(); }

  [[nodiscard]] std::size_t records() { return window.table().recordCount(); }
  [[nodiscard]] std::size_t historyLines() { return window.link().HistoryListBox.size(); }
  [[nodiscard]] std::size_t featureReports() const {
    return platform.featureLog(meter.deviceId()).size();
  }

  bool connectAndRecord() {
    window.Panel2Click();
    return runUntil([this] { return records() >= 2; }, std::chrono::seconds(10));
  }
};

// ---- idle ----

void measureIdlePhase(Program& program, const char* name, std::chrono::seconds length) {
  runFor(std::chrono::seconds(2));  // the frame under way ends, the retry cycle settles
  const std::size_t records = program.records();
  const std::size_t features = program.featureReports();
  const ProcessTimes before = processTimes();
  const auto start = Clock::now();
  runFor(length);
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  const ProcessTimes after = processTimes();
  std::printf(
      "%-22s %6.1f s  cpu %7.3f s = %6.3f %% of a core  wake-ups %7.1f /s"
      " (main thread %6.1f /s)  records %5zu  line settings sent %4zu\n",
      name, wall, after.cpuSeconds - before.cpuSeconds,
      100.0 * (after.cpuSeconds - before.cpuSeconds) / wall,
      double(after.wakeUps - before.wakeUps) / wall,
      double(after.mainThreadWakeUps - before.mainThreadWakeUps) / wall,
      program.records() - records, program.featureReports() - features);
  std::fflush(stdout);
}

int runIdle(std::chrono::seconds length) {
  Program program;
  if (!program.connectAndRecord()) {
    std::fprintf(stderr, "session_run: no readings from the virtual meter\n");
    return 1;
  }
  measureIdlePhase(program, "frames flowing", length);
  // Connected to a meter whose line is quiet from the start: no frame, so no retry cycle.
  program.window.Panel2Click();
  program.meter.setIdleOnly(true);
  program.window.Panel2Click();
  measureIdlePhase(program, "idle meter, connected", length);
  program.meter.setIdleOnly(false);
  const std::size_t recorded = program.records();
  if (!runUntil([&] { return program.records() > recorded; }, std::chrono::seconds(10))) return 1;
  program.meter.setIdleOnly(true);
  measureIdlePhase(program, "reports without data", length);
  program.meter.setIdleOnly(false);
  program.meter.setSilent(true);
  measureIdlePhase(program, "silent cable", length);
  return 0;
}

// ---- long ----

enum class Phase { Frames, IdleReports, Silent, Unplugged };

const char* phaseName(Phase phase) {
  switch (phase) {
    case Phase::Frames:
      return "frames";
    case Phase::IdleReports:
      return "no-data reports";
    case Phase::Silent:
      return "silent";
    case Phase::Unplugged:
      return "unplugged";
  }
  return "";
}

struct Sample {
  double minutes = 0;
  std::size_t records = 0;
  long long heap = 0;
  std::size_t tableBytes = 0;
  std::size_t history = 0;
};

struct HistoryAccount {
  std::size_t lineSettings = 0;
  std::size_t removals = 0;
  std::size_t arrivals = 0;
  std::size_t readErrors = 0;
  std::size_t other = 0;
};

HistoryAccount accountHistory(const std::vector<std::string>& lines) {
  HistoryAccount account;
  for (const std::string& line : lines) {
    if (line == "00 60 09 00 00 03 00 00 00 00 ") {
      ++account.lineSettings;
    } else if (line == "Removal of USB to Serial") {
      ++account.removals;
    } else if (line == "Arrival of USB to Serial") {
      ++account.arrivals;
    } else if (std::string_view(line).starts_with("READ ERROR")) {
      ++account.readErrors;
    } else {
      ++account.other;
      std::printf("unexpected history line: %s\n", line.c_str());
    }
  }
  return account;
}

int runLong(std::chrono::minutes total, std::chrono::seconds cycle) {
  Program program;
  const auto start = Clock::now();
  const auto sample = [&] {
    return Sample{std::chrono::duration<double, std::ratio<60>>(Clock::now() - start).count(),
                  program.records(), heapInUse(), program.window.table().memoryBytes(),
                  program.historyLines()};
  };
  if (!program.connectAndRecord()) {
    std::fprintf(stderr, "session_run: no readings from the virtual meter\n");
    return 1;
  }
  struct Step {
    Phase phase;
    double share;
  };
  const Step steps[] = {{Phase::Frames, 0.75},
                        {Phase::IdleReports, 0.10},
                        {Phase::Silent, 0.10},
                        {Phase::Unplugged, 0.05}};
  long long freeGrowth = 0;  // heap growth over phases that added no record
  long long recordGrowth = 0;
  std::size_t recordsAdded = 0;
  int unplugs = 0;
  std::printf("%8s %-16s %9s %12s %12s %8s\n", "minute", "phase", "records", "heap", "table",
              "history");
  Sample previous = sample();
  while (Clock::now() - start < total) {
    for (const Step& step : steps) {
      program.meter.setIdleOnly(step.phase == Phase::IdleReports);
      program.meter.setSilent(step.phase == Phase::Silent);
      if (step.phase == Phase::Unplugged) {
        program.meter.unplug();
        ++unplugs;
      }
      runFor(std::chrono::duration_cast<std::chrono::milliseconds>(cycle * step.share));
      if (step.phase == Phase::Unplugged) program.meter.plug();
      const Sample now = sample();
      const long long growth = now.heap - previous.heap;
      if (now.records == previous.records) {
        freeGrowth += growth;
      } else {
        recordGrowth += growth;
        recordsAdded += now.records - previous.records;
      }
      std::printf("%8.2f %-16s %9zu %12lld %12zu %8zu\n", now.minutes, phaseName(step.phase),
                  now.records, now.heap, now.tableBytes, now.history);
      std::fflush(stdout);
      previous = now;
    }
  }
  runFor(std::chrono::seconds(3));  // the arrival is handled and reading resumes

  const HistoryAccount history = accountHistory(program.window.link().HistoryListBox);
  std::printf(
      "\nrecords %zu (%zu added after the first sample), table %zu bytes = %.1f per record\n",
      program.records(), recordsAdded, program.window.table().memoryBytes(),
      double(program.window.table().memoryBytes()) / double(program.records()));
  std::printf("heap growth in phases that added records: %lld bytes = %.1f per record\n",
              recordGrowth, recordsAdded ? double(recordGrowth) / double(recordsAdded) : 0.0);
  std::printf("heap growth in phases without records: %lld bytes\n", freeGrowth);
  std::printf(
      "history %zu lines: line settings %zu (feature reports sent %zu), removals %zu, "
      "arrivals %zu (unplugs %d), read errors %zu, other %zu\n",
      program.historyLines(), history.lineSettings, program.featureReports(), history.removals,
      history.arrivals, unplugs, history.readErrors, history.other);
  const bool accounted = history.lineSettings == program.featureReports() &&
                         history.removals == std::size_t(unplugs) &&
                         history.arrivals == std::size_t(unplugs) && history.other == 0;
  std::printf("every history line matches a link event: %s\n", accounted ? "yes" : "NO");
  return accounted ? 0 : 1;
}

long argument(int argc, char** argv, const char* name, long fallback) {
  for (int i = 2; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0) return std::strtol(argv[i + 1], nullptr, 10);
  }
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "idle") {
    return runIdle(std::chrono::seconds(argument(argc, argv, "--seconds", 30)));
  }
  if (mode == "long") {
    return runLong(std::chrono::minutes(argument(argc, argv, "--minutes", 60)),
                   std::chrono::seconds(argument(argc, argv, "--cycle-seconds", 600)));
  }
  std::fputs("usage: session_run idle [--seconds S] | long [--minutes M] [--cycle-seconds C]\n",
             stderr);
  return 2;
}
