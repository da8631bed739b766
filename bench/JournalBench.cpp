// The recording journal's cost to the main thread: how long one recorded reading holds the
// main thread in the journal (the copy of the record queued for the writer thread), with a
// real file and with a disk made slow on purpose, beside writing and syncing the line on the
// main thread itself, which the writer thread spares it. And the scan for a journal left
// behind at start: how long it holds the main thread before the window answers, how long it
// takes, and its peak memory (run one size per process for that figure: the process's peak
// resident size is reported, e.g. --benchmark_filter='BM_LeftJournalScan/lines:2000000').
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "bench/BenchTable.h"
#include "record/JournalFile.h"
#include "record/JournalRecovery.h"
#include "record/JournalWriter.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A disk that takes 100 ms for every line and 250 ms for every sync.
class SlowDisk : public ostrel::JournalSink {
 public:
  ostrel::Result<> appendLine(std::string_view) override {
    std::this_thread::sleep_for(100ms);
    return {};
  }
  ostrel::Result<> sync() override {
    std::this_thread::sleep_for(250ms);
    return {};
  }
  ostrel::Result<> clear() override { return {}; }
  ostrel::Result<> remove() override { return {}; }
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
        [folder]() -> ostrel::Result<std::unique_ptr<ostrel::JournalSink>> {
          ostrel::Result<std::unique_ptr<ostrel::JournalFile>> created =
              ostrel::JournalFile::create(folder);
          if (!created.ok()) return created;
          return {std::move(created.value())};
        },
        nullptr);
  }
  const ostrel::ReadingsTable& table = readings();
  Clock::duration longest{};
  std::int64_t longestCpu = 0;
  std::size_t row = 0;
  for ([[maybe_unused]] auto _ : state) {
    const auto start = Clock::now();
    const std::int64_t startCpu = threadCpuNs();
    writer->append(table.record(row));
    longestCpu = std::max(longestCpu, threadCpuNs() - startCpu);
    longest = std::max(longest, Clock::now() - start);
    row = (row + 1) % table.recordCount();
  }
  state.counters["longest_block_us"] = microseconds(longest);
  state.counters["longest_block_cpu_us"] = static_cast<double>(longestCpu) / 1000.0;
  if (const ostrel::Result<> finished = writer->finish(); !finished.ok()) {
    state.SkipWithError(finished.message().c_str());
  }
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
  ostrel::Result<std::unique_ptr<ostrel::JournalFile>> created =
      ostrel::JournalFile::create(folder);
  if (!created.ok()) {
    state.SkipWithError(created.message().c_str());
    return;
  }
  const auto journal = std::move(created.value());
  const std::string line = "1\t14:30:05\t1.234\tM\xA6\xB8\tIR:500V 20G\xA6\xB8\tContinuous\r\n";
  Clock::duration longest{};
  for ([[maybe_unused]] auto _ : state) {
    const auto start = Clock::now();
    if (!journal->appendLine(line).ok() || !journal->sync().ok()) {
      state.SkipWithError("the journal could not be written");
      break;
    }
    longest = std::max(longest, Clock::now() - start);
  }
  state.counters["longest_block_us"] = microseconds(longest);
  // The folder goes next, whatever remove() says.
  (void)journal->remove();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WriteAndSyncOnTheMainThread)->Iterations(500)->Unit(benchmark::kMicrosecond);

// A journal of `lines` readings as the writer leaves it, written a megabyte at a time.
void writeLeftJournal(const std::string& folder, std::int64_t lines) {
  std::filesystem::create_directories(folder);
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace);
  std::FILE* file = std::fopen((folder + "/recording-benchx.txt").c_str(), "wb");
  std::string chunk = ostrel::JournalFile::headerLine();
  char line[128];
  for (std::int64_t i = 0; i < lines; ++i) {
    const std::int64_t ms = (std::int64_t{8} * 3'600'000 + i * 500) % 86'400'000;
    std::snprintf(line, sizeof line,
                  "%lld\t%s\t%lld.%03lld\tM\xA6\xB8\tIR:500V 20G\xA6\xB8\tContinuous\r\n",
                  static_cast<long long>(i) + 1,
                  ostrel::journalTimeText(static_cast<std::int32_t>(ms)).c_str(),
                  static_cast<long long>(i % 1000), static_cast<long long>(i % 997));
    chunk += line;
    if (chunk.size() >= (1U << 20)) {
      std::fwrite(chunk.data(), 1, chunk.size(), file);
      chunk.clear();
    }
  }
  std::fwrite(chunk.data(), 1, chunk.size(), file);
  std::fclose(file);
}

double peakResidentMb() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The start-up scan of a left journal of `lines` readings, run as the window runs it: on a
// thread of its own, the main thread held only while the thread starts (main_block_ms); the
// whole scan takes scan_ms. table_mb: the recovered table's own bytes; peak_rss_mb: the
// process's peak (the journal's writing included, which holds a megabyte).
void BM_LeftJournalScan(benchmark::State& state) {
  const std::string folder = benchFolder() + "-left";
  std::filesystem::remove_all(folder);
  writeLeftJournal(folder, state.range(0));
  const double peakBefore = peakResidentMb();
  double mainBlockMs = 0;
  double scanMs = 0;
  double tableMb = 0;
  std::size_t records = 0;
  for ([[maybe_unused]] auto _ : state) {
    std::atomic<bool> cancel{false};
    std::unique_ptr<ostrel::JournalScan> result;
    const auto start = Clock::now();
    std::thread scan([&] {
      ::pthread_setname_np(::pthread_self(), "ostrel-journal");
      result = std::make_unique<ostrel::JournalScan>(
          ostrel::scanLeftJournals(folder, ostrel::LongTimeFormat::fromEnvironment(), &cancel));
    });
    mainBlockMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    scan.join();
    scanMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!result->left) {
      state.SkipWithError("no journal offered");
      break;
    }
    records = result->left->records->recordCount();
    tableMb = static_cast<double>(result->left->records->memoryBytes()) / 1048576.0;
  }
  state.counters["main_block_ms"] = mainBlockMs;
  state.counters["scan_ms"] = scanMs;
  state.counters["records"] = static_cast<double>(records);
  state.counters["table_mb"] = tableMb;
  state.counters["peak_rss_mb"] = peakResidentMb();
  state.counters["peak_rss_before_scan_mb"] = peakBefore;
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LeftJournalScan)
    ->ArgName("lines")
    ->Arg(2'000'000)
    ->Arg(10'000'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
