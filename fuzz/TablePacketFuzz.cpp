// Fuzz target: an XML data packet file loaded into a table that already holds records
// (LoadTableFromFile with EmptyFirst cleared, as "Open Data" does).
//
// Checked after every load: a failed load leaves the table as it was and gives exactly
// "Failed to Load File!" with a reason of a packet's kind, at a byte within the file; a
// successful one gives no message and well-formed records, which
// the program's own packet of them reads back unchanged (same records, same change
// states) and its own text file of them reads back whole.
#include <cstddef>
#include <cstdint>

#include "TableFuzzSupport.h"
#include "record/DataPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ostrel;
  using fuzz::require;

  const fuzz::OpenDataOnTwoReadings load(data, size, ".xml");
  const ReadingsTable& table = load.table;
  const auto& before = load.before;
  const LoadResult& result = load.result;

  if (!result.ok()) {
    require(result.message() == loadFailedMessage);
    const LoadFailure& failure = result.failure();
    require(failure.kind == LoadFailureKind::Empty || failure.kind == LoadFailureKind::BrokenXml ||
            failure.kind == LoadFailureKind::NotDataPacket ||
            failure.kind == LoadFailureKind::DamagedRow ||
            failure.kind == LoadFailureKind::TooLargeToParse);
    require(failure.offset <= size && !result.reason().empty());
    require(fuzz::snapshot(table) == before);
    return 0;
  }
  require(result.message().empty());
  fuzz::requireWellFormed(table);

  fuzz::requireOwnFilesLoadBack(table);
  return 0;
}
