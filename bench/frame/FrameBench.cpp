// The cost of the report handler on the main thread, which the read thread waits for:
// a report without data (most of the stream) and a whole frame through to the decoder.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "decode/DisplayModel.h"
#include "decode/FrameDecoder.h"
#include "decode/ReadingTexts.h"
#include "link/frame/FrameAssembler.h"
#include "link/frame/FrameAssemblerState.h"
#include "sim/frames/FrameBuilder.h"
#include "sim/frames/ReportStream.h"

namespace {

using ostrel::sim::FrameBuilder;
using ostrel::sim::InputReport;

// A busy display: value, unit, test voltage, timer, memory, bar graph and a mode symbol.
FrameBuilder typicalDisplay() {
  return FrameBuilder()
      .mainDigits("1.234")
      .unit("G\xCE\xA9")
      .testVoltage(" 500")
      .timer("01:30")
      .memory('7')
      .barGraph(17)
      .symbol("Labgood");
}

// Assembler and decoder wired as the main window wires them; the hooks do nothing.
struct FramePath {
  ostrel::FrameAssemblerState state;
  ostrel::FrameAssembler assembler{state};
  ostrel::DisplayModel model;
  ostrel::ReadingTexts reading;
  ostrel::FrameDecoder decoder{model, reading, "."};
  int recorded = 0;

  FramePath() {
    decoder.setTimer2RestartHook([] {});
    decoder.setRecordHook([this](int) { ++recorded; });
    assembler.setFrameHandler([this](const std::string& meterFrame) {
      return decoder.ShowData860(meterFrame) == ostrel::FrameDecoder::Outcome::Decoded;
    });
  }

  bool read(const InputReport& report) {
    return assembler.Read740(report.reportId, report.data.data(),
                             static_cast<std::uint16_t>(report.data.size()));
  }
};

// A report without data while no frame is in progress: the bulk of what the bridge sends.
void BM_ReportWithoutData(benchmark::State& state) {
  FramePath path;
  const InputReport idle = ostrel::sim::idleReport();
  for ([[maybe_unused]] auto _ : state) benchmark::DoNotOptimize(path.read(idle));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReportWithoutData);

// One data report of 7 serial bytes appended to a frame in progress.
void BM_DataReport(benchmark::State& state) {
  FramePath path;
  const auto frame = typicalDisplay().bytes();
  const InputReport data = ostrel::sim::packSerialBytes(frame).front();
  for ([[maybe_unused]] auto _ : state) {
    // Starts the frame again after three reports (42 characters, as in a real frame) without
    // freeing the text; costs a compare per report. Left to grow, the text would reach the
    // assembler's cap, past which a report only counts its bytes.
    if (path.state.HexAccumulator.size() >= 42) path.state.HexAccumulator.clear();
    benchmark::DoNotOptimize(path.read(data));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DataReport);

// One complete frame as the bridge delivers it: four data reports (7+7+7+1 bytes) and the
// report without data that ends it, handed to ShowData860 and decoded (no 500 ms pause:
// the pause belongs to the read side).
void BM_CompleteFrame(benchmark::State& state) {
  FramePath path;
  const auto frame = typicalDisplay().bytes();
  const std::vector<InputReport> reports = ostrel::sim::packSerialBytes(frame);
  const InputReport idle = ostrel::sim::idleReport();
  for ([[maybe_unused]] auto _ : state) {
    for (const InputReport& report : reports) path.read(report);
    benchmark::DoNotOptimize(path.read(idle));
  }
  if (path.recorded != static_cast<int>(state.iterations())) state.SkipWithError("not decoded");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CompleteFrame);

// ShowData860 alone on a 44-character frame: the decoder's share of BM_CompleteFrame.
void BM_ShowData860(benchmark::State& state) {
  FramePath path;
  const std::string text = typicalDisplay().text();
  for ([[maybe_unused]] auto _ : state) benchmark::DoNotOptimize(path.decoder.ShowData860(text));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ShowData860);

}  // namespace

BENCHMARK_MAIN();
