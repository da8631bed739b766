// Fuzz target: a tab-separated text file loaded into a table that already holds records
// (LoadTableFromFile with EmptyFirst cleared, as "Open Data" does).
//
// Checked after every load: the records the table held are unchanged (a text file only
// appends); a load appends at most one record per line after the first; success gives no
// message, failure exactly "Failed to Load File!" with its reason; a damaged line N kept the
// N - 2 records before it and names a byte of the file; every record is well formed, and the
// program's own packet and text file of the table load back.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "TableFuzzSupport.h"
#include "record/TableFiles.h"

namespace {

// Lines as the loader counts them: ended by CR, LF or CR LF; no empty last line.
std::size_t lineCount(const std::uint8_t* data, std::size_t size) {
  std::size_t lines = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' || data[i] == '\r') {
      ++lines;
      if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
    } else if (i + 1 == size) {
      ++lines;
    }
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ostrel;
  using fuzz::require;

  const fuzz::OpenDataOnTwoReadings load(data, size, ".txt");
  const ReadingsTable& table = load.table;
  const auto& before = load.before;
  const LoadResult& result = load.result;

  require(result.message() == (result.ok() ? "" : loadFailedMessage));
  require(result.ok() == (result.failure().kind == LoadFailureKind::None));
  // A damaged line keeps exactly the records of the lines before it, and its byte is in it.
  if (result.failure().kind == LoadFailureKind::DamagedLine) {
    require(result.failure().line >= 2 && result.failure().offset < size);
    require(table.recordCount() - load.before.size() == result.failure().line - 2);
  }
  if (size == 0) require(!result.ok());
  const auto after = fuzz::snapshot(table);
  require(after.size() >= before.size());
  require(std::equal(before.begin(), before.end(), after.begin()));
  const std::size_t lines = lineCount(data, size);
  require(after.size() - before.size() <= (lines > 0 ? lines - 1 : 0));
  fuzz::requireWellFormed(table);
  fuzz::requireOwnFilesLoadBack(table);
  return 0;
}
