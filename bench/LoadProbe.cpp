// One load in a fresh process, as a user's first "Open Data" is: the CPU time, page faults
// and peak resident size of the process that did nothing before it. The benchmark program
// repeats its loads in one process, whose heap the earlier loads have already grown.
//
//   load_probe make RECORDS KIND FILE   writes RECORDS typical readings (KIND 0: GBK texts,
//                                       1: ASCII) as FILE (.xml: data packet, else text)
//   load_probe load FILE                loads FILE into an empty table
//   load_probe pugixml FILE             parses FILE whole with pugixml (the packet's yardstick)
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pugixml.hpp>
#include <string>

#include "bench/BenchTable.h"
#include "record/ReadingsTable.h"
#include "record/TableFiles.h"

namespace {

double seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

void printUsage(const char* what, std::size_t records) {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "%s: %zu records, CPU %.3f s (user %.3f, system %.3f), %ld minor faults, "
      "peak resident %.1f MB\n",
      what, records, seconds(usage.ru_utime) + seconds(usage.ru_stime), seconds(usage.ru_utime),
      seconds(usage.ru_stime), usage.ru_minflt, static_cast<double>(usage.ru_maxrss) / 1024);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "make") == 0) {
    ostrel::ReadingsTable table;
    ostrel::bench::fillTable(table, std::atoi(argv[2]), std::atoi(argv[3]));
    return ostrel::SaveTableToFile(table, argv[4]).ok() ? 0 : 1;
  }
  if (argc == 3 && std::strcmp(argv[1], "load") == 0) {
    ostrel::ReadingsTable table;
    const ostrel::Result<> result = ostrel::LoadTableFromFile(argv[2], table, false);
    printUsage(result.ok() ? "loaded" : "failed", table.recordCount());
    return result.ok() ? 0 : 1;
  }
  if (argc == 3 && std::strcmp(argv[1], "pugixml") == 0) {
    constexpr unsigned options = pugi::parse_escapes | pugi::parse_eol |
                                 pugi::parse_wconv_attribute | pugi::parse_declaration;
    pugi::xml_document document;
    const bool ok = document.load_file(argv[2], options, pugi::encoding_utf8);
    printUsage(ok ? "parsed" : "failed", 0);
    return ok ? 0 : 1;
  }
  std::fprintf(stderr, "usage: load_probe make RECORDS KIND FILE | load FILE | pugixml FILE\n");
  return 2;
}
