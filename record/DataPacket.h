#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ChunkedOutput.h"
#include "FileBytes.h"
#include "LoadFailure.h"
#include "ReadingsTable.h"

namespace ostrel {

// The XML data packet of the readings table: one line, no encoding declared, texts as the
// table's GBK bytes.

// The whole packet for `table`, byte for byte as the program writes it.
std::string writeDataPacket(const ReadingsTable& table);
// The same bytes handed to `sink` in chunks of about a megabyte, for a file of any size
// without holding all of it; false when the sink refused a chunk (nothing more is written).
bool writeDataPacket(const ReadingsTable& table, const ByteSink& sink);

// The largest packet that is parsed whole (see readDataPacket).
inline constexpr std::size_t packetWholeParseLimit = std::size_t{16} << 20;

// Reads a packet (our form and its usual variations: white space between elements, other
// attribute order or letter case, an encoding declaration, fields in another order, other
// PARAMS attributes) into `table`, which should be empty; rows whose RowState has bit 1, 2
// or 32 set are skipped, every other row keeps its state. A packet declared UTF-8 has its
// texts converted to GBK. Fails when the packet cannot be parsed (BrokenXml, the parser's
// reason and offset), lacks one of the six fields or gives one another type, or is no
// DATAPACKET (NotDataPacket), or holds a value that does not fit its field (DamagedRow, where
// that row's value or the row starts); `table` is then in an unspecified state. The records
// are read straight from `bytes`; a packet whose records are not ROW elements closed by "/>"
// with white space and comments between them (another element among them, text, a DOCTYPE)
// is parsed whole, and is refused (TooLargeToParse) when larger than 16 MB, so that no file
// takes more than the table and a few dozen megabytes to load; so is one with more than a
// megabyte after its last "</ROWDATA>". `consumed`, when given, is told as the records are
// read which bytes before an offset will not be read again (a packet that has to be parsed
// whole is read again from its start after that); its false stops the read, which then
// fails (Cancelled).
LoadResult readDataPacket(std::string_view bytes, ReadingsTable& table,
                          const ReleaseConsumed& consumed = {});

// Packet time values: "hh:nn:" + milliseconds within the minute as five digits.
std::string formatPacketTime(std::int32_t ms);
std::optional<std::int32_t> parsePacketTime(std::string_view text);

}  // namespace ostrel
