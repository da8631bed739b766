// Fuzz target: a recording journal left behind, as the start-up scan reads it (readJournal).
//
// Checked for every input: the whole lines kept are a prefix of the input that starts with the
// header and ends with CRLF; a journal with records keeps one record per line after the
// header, but for the damaged lines it left out and counted; no record keeps "NULL" as a text;
// every record is well formed; Empty and Unreadable keep no record. Read in pieces (as the
// scan reads a file), the input gives the same kind, records and counts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "TableFuzzSupport.h"
#include "record/JournalFile.h"
#include "record/JournalRecovery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ostrel;
  using fuzz::require;

  static const LongTimeFormat timeFormat("C");
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const JournalContent content = readJournal(bytes, timeFormat);
  const ReadingsTable& records = *content.records;
  fuzz::requireWellFormed(records);

  const std::size_t piece = size == 0 ? 1 : 1 + data[0] % 13;
  JournalReader reader(timeFormat);
  for (std::size_t at = 0; at < size; at += piece) {
    if (!reader.feed(bytes.substr(at, piece))) break;
  }
  const JournalContent pieces = reader.finish();
  require(pieces.kind == content.kind && pieces.wholeLength == content.wholeLength &&
          pieces.droppedLines == content.droppedLines &&
          pieces.droppedLastLine == content.droppedLastLine &&
          pieces.records->recordCount() == records.recordCount());

  if (content.kind != JournalContent::Kind::Records) {
    require(records.empty());
    return 0;
  }
  require(!records.empty());
  require(content.wholeLength <= size);
  const std::string_view kept = bytes.substr(0, content.wholeLength);
  const std::string& header = JournalFile::headerLine();
  require(kept.substr(0, header.size()) == header);
  require(kept.size() >= 2 && kept.substr(kept.size() - 2) == "\r\n");
  // Lines end in CRLF; a damaged line may hold a lone LF or CR.
  std::size_t lineEnds = 0;
  for (std::size_t at = kept.find("\r\n"); at != std::string_view::npos;
       at = kept.find("\r\n", at + 2)) {
    ++lineEnds;
  }
  // Every line kept is a record, or a damaged line that was left out and counted.
  require(lineEnds >= records.recordCount() + 1);
  require(lineEnds <= records.recordCount() + 1 + content.droppedLines);
  for (std::size_t row = 0; row < records.recordCount(); ++row) {
    require(records.no(row).has_value() && records.timeMs(row).has_value());
    for (const auto field : {ReadingsTable::Value, ReadingsTable::Unit, ReadingsTable::V_Range,
                             ReadingsTable::I_Range}) {
      require(records.text(row, field) != std::string_view("NULL"));
    }
  }
  return 0;
}
