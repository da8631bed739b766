// An hour of the cable's line traffic, played without waiting: what the read side would hand to
// the main thread at the line's pace (a report every 12 ms, frames of the virtual meter's demo
// session, no report taken in the 500 ms after a decoded frame), through frame assembly, the
// decoder and the recording rules into a table. The timing is simulated; the code is the
// program's. Counts the heap the hour leaves behind against what its records hold.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <string>
#include <vector>

#include "decode/DisplayModel.h"
#include "decode/ReadingTexts.h"
#include "link/frame/FrameAssembler.h"
#include "link/frame/FrameAssemblerState.h"
#include "pipeline/FramePipeline.h"
#include "record/ReadingsTable.h"
#include "record/RecordingCounters.h"
#include "record/RecordingRules.h"
#include "sim/frames/ReportStream.h"
#include "sim/meter/MeterScript.h"
#include "sim/meter/VirtualMeter.h"

namespace {

using ostrel::sim::InputReport;

using ostrel::sim::VirtualMeter;

constexpr int reportPeriodMs = static_cast<int>(VirtualMeter::reportPeriod.count());
constexpr long reportsPerFrame = static_cast<long>(VirtualMeter::reportsPerFrame);
constexpr int pauseAfterFrameMs = 500;  // the read side's pause after a decoded frame
constexpr int hourMs = 3'600'000;

long long heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long long>(info.uordblks) + static_cast<long long>(info.hblkhd);
}

// The reports of one frame period for every frame of the session, in playing order.
std::vector<std::vector<InputReport>> framePeriods() {
  std::vector<std::vector<InputReport>> periods;
  for (const auto& frame : ostrel::sim::demoSession()) {
    std::vector<InputReport> reports = ostrel::sim::packSerialBytes(frame);
    while (reports.size() < VirtualMeter::reportsPerFrame)
      reports.push_back(ostrel::sim::idleReport());
    periods.push_back(std::move(reports));
  }
  return periods;
}

// The main thread's side of the link as the window wires it, on a simulated clock.
struct MainThreadSide {
  int nowMs = 8 * 3'600'000;
  ostrel::FrameAssemblerState assemblerState;
  ostrel::FrameAssembler assembler{assemblerState};
  ostrel::DisplayModel display;
  ostrel::ReadingTexts reading;
  ostrel::ReadingsTable cds1;
  ostrel::RecordingCounters counters;
  ostrel::RecordingControls controls;
  ostrel::RecordingRules rules{cds1, counters, controls, [this] { return nowMs % 86'400'000; }};
  ostrel::FramePipeline pipeline{display, reading, rules, "."};

  MainThreadSide() {
    counters.RecordLimit = 1'000'000;
    assembler.setFrameHandler(pipeline.frameHandler());
  }

  // Plays an hour; returns the reports handed over.
  long playHour(const std::vector<std::vector<InputReport>>& periods) {
    long handed = 0;
    int pausedUntil = nowMs;
    const int end = nowMs + hourMs;
    for (long slot = 0; nowMs < end; ++slot, nowMs += reportPeriodMs) {
      if (nowMs < pausedUntil) continue;  // the read side is pausing after a decoded frame
      const auto& period =
          periods[static_cast<std::size_t>(slot / reportsPerFrame) % periods.size()];
      const InputReport& report = period[static_cast<std::size_t>(slot % reportsPerFrame)];
      ++handed;
      if (assembler.Read740(report.reportId, report.data.data(),
                            static_cast<std::uint16_t>(report.data.size()))) {
        pausedUntil = nowMs + pauseAfterFrameMs;
      }
    }
    return handed;
  }
};

void BM_HourOfLineTraffic(benchmark::State& state) {
  const auto periods = framePeriods();
  long long unaccounted = 0;
  std::size_t records = 0;
  std::size_t tableBytes = 0;
  long reports = 0;
  for ([[maybe_unused]] auto _ : state) {
    state.PauseTiming();
    const long long before = heapInUse();
    auto side = std::make_unique<MainThreadSide>();
    const long long afterSetUp = heapInUse();
    const std::size_t emptyTable = side->cds1.memoryBytes();
    state.ResumeTiming();
    reports = side->playHour(periods);
    state.PauseTiming();
    records = side->cds1.recordCount();
    tableBytes = side->cds1.memoryBytes();
    unaccounted = (heapInUse() - afterSetUp) - static_cast<long long>(tableBytes - emptyTable);
    side.reset();
    unaccounted += heapInUse() - before;  // anything the hour left behind after it was gone
    state.ResumeTiming();
  }
  state.counters["reports"] = static_cast<double>(reports);
  state.counters["records"] = static_cast<double>(records);
  state.counters["table_bytes"] = static_cast<double>(tableBytes);
  state.counters["heap_not_in_table"] = static_cast<double>(unaccounted);
}
BENCHMARK(BM_HourOfLineTraffic)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
