// The virtual meter's cost per report as the link's retries pile up feature reports: the
// demo runs for hours, retrying once a second whenever frames stop, and every report the
// meter hands out must cost the same however long the bridge's feature log has grown.
//
// CPU time of the reading thread (the meter's pacing waits are not counted), one report a
// 12 ms period; the argument is the number of feature reports sent before measuring.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <memory>
#include <stop_token>

#include "sim/hid/SimHidPlatform.h"
#include "sim/meter/VirtualMeter.h"

namespace {

using ostrel::HidOpenMode;
using ostrel::SimHidPlatform;
using ostrel::sim::VirtualMeter;

void BM_VirtualMeterReport(benchmark::State& state) {
  SimHidPlatform platform;
  VirtualMeter meter(platform);
  const std::string path = platform.path(meter.deviceId());
  const auto info = platform.open(path, HidOpenMode::ReadWrite);
  const std::array<std::uint8_t, 10> lineSettings = {0x00, 0x60, 0x09, 0, 0, 0x03, 0, 0, 0, 0};
  for (std::int64_t k = 0; k < state.range(0); ++k) info->sendFeature(lineSettings);
  std::uint32_t error = 0;
  const auto reader = platform.openReader(path, error);
  std::array<std::uint8_t, 9> buffer{};
  const std::stop_source never;
  for ([[maybe_unused]] auto _ : state) {
    benchmark::DoNotOptimize(
        reader->read(buffer, std::chrono::milliseconds(100), never.get_token()));
  }
}
BENCHMARK(BM_VirtualMeterReport)->Arg(1)->Arg(10000)->Arg(100000)->Iterations(100);

}  // namespace

BENCHMARK_MAIN();
