#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

class LongTimeFormat;
class ReadingsTable;

// The tab-separated text table ("Save Data"): one header line, then one line per record with
// the cells No, Time, Value, Unit, Function, Remark, each line ending in CRLF. The saved text
// file, the recording journal and `ostrel-cli log` write their lines with these functions,
// and the journal's recovery reads them with these facts, so the forms cannot drift apart.

inline constexpr std::string_view textHeaderLine =
    "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n";
inline constexpr std::string_view textLineEnd = "\r\n";
// An empty field (or a text of blanks only) is written as this cell.
inline constexpr std::string_view textNullCell = "NULL";

// A text cell's trimming rule: blanks and control bytes (0 to 32) are dropped at both ends
// (none of them is ever the second byte of a GBK character).
std::string_view trimmedCell(std::string_view text);

// A text cell read back as the field it was written from: "NULL" stands for an empty field.
std::optional<std::string_view> recordedCell(std::optional<std::string_view> cell);

// Appends record `row` of `table` as one line: its No (an empty cell when it has none), its
// time in `timeFormat` ("NULL" when it has none), its four texts trimmed ("NULL" when empty; a
// tab, CR or LF inside a text is written as a blank) and CRLF. Byte for byte the saved file's.
void appendTextRecordLine(std::string& out, const ReadingsTable& table, std::size_t row,
                          const LongTimeFormat& timeFormat);

// The same line with the time cell given as it is to be written (the journal's fixed form)
// and, when testTime holds one, a seventh cell with it before the CRLF.
void appendTextRecordLine(std::string& out, const ReadingsTable& table, std::size_t row,
                          std::string_view timeCell, std::optional<std::int32_t> testTime);

// Puts the test-time cell before the line end of one record's text line (nothing when empty).
void appendTestTimeCell(std::string& line, std::optional<std::int32_t> testTime);

}  // namespace ostrel
