// Readings table at the scale of "Limitless": appending, bytes per record, and saving and
// loading a million records as text and as a data packet, beside pugixml (the packet load's
// floor) and xmllint --stream parsing the same packet; saving them as a workbook.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <pugixml.hpp>
#include <string>

#include "bench/BenchTable.h"
#include "record/ReadingsTable.h"
#include "record/TableFiles.h"

namespace {

using ostrel::ReadingsTable;
using ostrel::bench::fillTable;

constexpr int million = 1'000'000;

std::size_t residentBytes() {
  long pages = 0;
  long resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return static_cast<std::size_t>(resident) * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

long peakResidentKiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The process's peak resident memory since the last call (Linux resets the peak through
// clear_refs), in bytes.
std::size_t peakResidentSinceLast() {
  std::size_t peakKb = 0;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) peakKb = std::stoul(line.substr(6));
  }
  std::ofstream("/proc/self/clear_refs") << "5";
  return peakKb * 1024;
}

// Loads `name` into a fresh table per iteration; counters: the table's own bytes and how far
// the resident memory rose above what it was before the load at its peak, in MB.
void measureLoad(benchmark::State& state, const std::string& name) {
  double tableMb = 0;
  double peakMb = 0;
  for ([[maybe_unused]] auto _ : state) {
    state.PauseTiming();
    const std::size_t before = residentBytes();
    peakResidentSinceLast();
    state.ResumeTiming();
    ReadingsTable table;
    if (!ostrel::LoadTableFromFile(name, table, false).ok()) state.SkipWithError("load failed");
    if (table.recordCount() != million) state.SkipWithError("records lost");
    state.PauseTiming();
    tableMb = static_cast<double>(table.memoryBytes()) / 1e6;
    peakMb = static_cast<double>(peakResidentSinceLast() - before) / 1e6;
    state.ResumeTiming();
  }
  state.counters["table_MB"] = tableMb;
  state.counters["peak_rise_MB"] = peakMb;
}

std::string benchFile(const char* name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

const char* packetName(int kind) {
  return kind == 0 ? "ostrel-bench-gbk.xml" : "ostrel-bench-ascii.xml";
}

// Saves a million records of `kind` as the packet the load benchmarks read; returns its name.
std::string writeBenchPacket(int kind) {
  std::string name = benchFile(packetName(kind));
  ReadingsTable table;
  fillTable(table, million, kind);
  if (!ostrel::SaveTableToFile(table, name).ok())
    std::fprintf(stderr, "cannot write %s\n", name.c_str());
  return name;
}

void BM_AppendMillion(benchmark::State& state) {
  double bytesPerRecord = 0;
  double residentPerRecord = 0;
  for ([[maybe_unused]] auto _ : state) {
    state.PauseTiming();
    auto table = std::make_unique<ReadingsTable>();
    const std::size_t before = residentBytes();
    state.ResumeTiming();
    fillTable(*table, million, 0);
    state.PauseTiming();
    bytesPerRecord = static_cast<double>(table->memoryBytes()) / million;
    residentPerRecord = static_cast<double>(residentBytes() - before) / million;
    table.reset();
    state.ResumeTiming();
  }
  state.counters["bytes_per_record"] = bytesPerRecord;
  state.counters["resident_bytes_per_record"] = residentPerRecord;
  state.SetItemsProcessed(state.iterations() * million);
}
BENCHMARK(BM_AppendMillion)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SaveText(benchmark::State& state) {
  ReadingsTable table;
  fillTable(table, million, 0);
  const std::string name = benchFile("ostrel-bench.xls");
  for ([[maybe_unused]] auto _ : state) {
    if (!ostrel::SaveTableToFile(table, name).ok()) state.SkipWithError("save failed");
  }
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(name)) / 1e6;
}
BENCHMARK(BM_SaveText)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The workbook is streamed row by row (libxlsxwriter's constant-memory mode): the peak
// resident size should not grow with the table. peak_growth_MB is the growth of the
// process's peak during the saves, so run this benchmark alone
// (--benchmark_filter=SaveWorkbook) for a figure that earlier benchmarks do not hide.
void BM_SaveWorkbook(benchmark::State& state) {
  ReadingsTable table;
  fillTable(table, million, 0);
  const std::string name = benchFile("ostrel-bench.xlsx");
  const long peakBefore = peakResidentKiB();
  for ([[maybe_unused]] auto _ : state) {
    if (!ostrel::SaveTableToFile(table, name, ".").ok()) state.SkipWithError("save failed");
  }
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(name)) / 1e6;
  state.counters["peak_growth_MB"] = static_cast<double>(peakResidentKiB() - peakBefore) / 1024;
}
BENCHMARK(BM_SaveWorkbook)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_LoadText(benchmark::State& state) {
  const std::string name = benchFile("ostrel-bench.xls");
  {
    ReadingsTable table;
    fillTable(table, million, 0);
    if (!ostrel::SaveTableToFile(table, name).ok()) {
      state.SkipWithError("save failed");
      return;
    }
  }
  measureLoad(state, name);
}
BENCHMARK(BM_LoadText)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_SavePacket(benchmark::State& state) {
  ReadingsTable table;
  fillTable(table, million, static_cast<int>(state.range(0)));
  const std::string name = benchFile(packetName(static_cast<int>(state.range(0))));
  for ([[maybe_unused]] auto _ : state) {
    if (!ostrel::SaveTableToFile(table, name).ok()) state.SkipWithError("save failed");
  }
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(name)) / 1e6;
}
BENCHMARK(BM_SavePacket)
    ->ArgName("ascii")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

void BM_LoadPacket(benchmark::State& state) {
  measureLoad(state, writeBenchPacket(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_LoadPacket)
    ->ArgName("ascii")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// pugixml parsing the very packet BM_LoadPacket reads, read from the file and parsed whole
// with the reader's options into a tree that is then dropped: the floor of a packet load,
// since the loader parses with pugixml too and adds only the records it builds.
void BM_PugixmlParse(benchmark::State& state) {
  const std::string name = writeBenchPacket(static_cast<int>(state.range(0)));
  constexpr unsigned options =
      pugi::parse_escapes | pugi::parse_eol | pugi::parse_wconv_attribute | pugi::parse_declaration;
  for ([[maybe_unused]] auto _ : state) {
    pugi::xml_document document;
    if (!document.load_file(name.c_str(), options, pugi::encoding_utf8)) {
      state.SkipWithError("pugixml failed");
    }
  }
}
BENCHMARK(BM_PugixmlParse)
    ->ArgName("ascii")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// xmllint --stream --huge (the packet is one line of 100 MB) on the packet BM_LoadPacket reads. The
// GBK packet gets an encoding declaration in a copy (xmllint refuses undeclared GBK bytes); the
// ASCII one is the very file.
void BM_XmllintStream(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  std::string name = writeBenchPacket(kind);
  if (kind == 0) {
    std::ifstream in(name, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.replace(0, bytes.find('?', 2),
                  "<?xml version=\"1.0\" encoding=\"GBK\" standalone=\"yes\"");
    name = benchFile("ostrel-bench-gbk-declared.xml");
    std::ofstream(name, std::ios::binary) << bytes;
  }
  const std::string command = "xmllint --stream --huge --noout '" + name + "'";
  for ([[maybe_unused]] auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("xmllint failed or is missing");
  }
}
BENCHMARK(BM_XmllintStream)
    ->ArgName("ascii")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
