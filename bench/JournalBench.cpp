// The recording journal's cost to the main thread: how long one recorded reading holds the
// main thread in the journal (the copy of the record queued for the writer thread), with a
// real file and with a disk made slow on purpose, beside writing and syncing the line on the
// main thread itself, which the writer thread spares it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "bench/BenchTable.h"
#include "record/JournalFile.h"
#include "record/JournalWriter.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A disk that takes 100 ms for every line and 250 ms for every sync.
class SlowDisk : public ostrel::JournalSink {
 public:
  std::string appendLine(std::string_view) override {
    std::this_thread::sleep_for(100ms);
    return {};
  }
  std::string sync() override {
    std::this_thread::sleep_for(250ms);
    return {};
  }
  std::string clear() override { return {}; }
  std::string remove() override { return {}; }
};

std::string benchFolder() {
  return (std::filesystem::temp_directory_path() / "ostrel-bench-journal").string();
}

const ostrel::ReadingsTable& readings() {
  static const auto table = [] {
    auto t = std::make_unique<ostrel::ReadingsTable>();
    ostrel::bench::fillTable(*t, 1000, 0);
    return t;
  }();
  return *table;
}

double microseconds(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

// CPU time of the calling thread, in ns: a block measured with it leaves out the time the
// thread was not running (a loaded machine preempts it), which wall-clock time includes.
std::int64_t threadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// One recorded reading as the window journals it: the record copied out of the table and
// queued. slow:1 behind SlowDisk, slow:0 behind a journal file in the temporary folder.
void BM_JournalAppend(benchmark::State& state) {
  const bool slow = state.range(0) == 1;
  const std::string folder = benchFolder();
  std::unique_ptr<ostrel::JournalWriter> writer;
  if (slow) {
    writer = std::make_unique<ostrel::JournalWriter>(std::make_unique<SlowDisk>(), nullptr);
  } else {
    writer = std::make_unique<ostrel::JournalWriter>(
        [folder](std::string& error) -> std::unique_ptr<ostrel::JournalSink> {
          return ostrel::JournalFile::create(folder, error);
        },
        nullptr);
  }
  const ostrel::ReadingsTable& table = readings();
  Clock::duration longest{};
  std::int64_t longestCpu = 0;
  std::size_t row = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const std::int64_t startCpu = threadCpuNs();
    writer->append(table.record(row));
    longestCpu = std::max(longestCpu, threadCpuNs() - startCpu);
    longest = std::max(longest, Clock::now() - start);
    row = (row + 1) % table.recordCount();
  }
  state.counters["longest_block_us"] = microseconds(longest);
  state.counters["longest_block_cpu_us"] = static_cast<double>(longestCpu) / 1000.0;
  writer->finish();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_JournalAppend)
    ->ArgName("slow")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

// For comparison: the line written and synced on the main thread itself, on the real disk.
void BM_WriteAndSyncOnTheMainThread(benchmark::State& state) {
  const std::string folder = benchFolder();
  std::string error;
  auto journal = ostrel::JournalFile::create(folder, error);
  if (!journal) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::string line = "1\t14:30:05\t1.234\tM\xA6\xB8\tIR:500V 20G\xA6\xB8\tContinuous\r\n";
  Clock::duration longest{};
  for (auto _ : state) {
    const auto start = Clock::now();
    journal->appendLine(line);
    journal->sync();
    longest = std::max(longest, Clock::now() - start);
  }
  state.counters["longest_block_us"] = microseconds(longest);
  journal->remove();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WriteAndSyncOnTheMainThread)->Iterations(500)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
