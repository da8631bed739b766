// The tab-separated text form of the readings table.
#include <array>
#include <charconv>

#include "TableFiles.h"

namespace ostrel {

namespace {

constexpr std::string_view headerLine = "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n";
constexpr std::string_view nullCell = "NULL";

bool isBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlankOrControl(text.back())) text.remove_suffix(1);
  return text;
}

// A tab, CR or LF inside a text would split the cell or the line, so it is written as a
// blank (none of them is ever the second byte of a GBK character).
void appendTextCell(std::string& out, std::optional<std::string_view> text) {
  out.push_back('\t');
  const std::string_view cell = text ? trimmed(*text) : std::string_view{};
  if (cell.empty()) {
    out += nullCell;
    return;
  }
  const std::size_t start = out.size();
  out += cell;
  for (std::size_t i = start; i < out.size(); ++i) {
    if (out[i] == '\t' || out[i] == '\r' || out[i] == '\n') out[i] = ' ';
  }
}

std::optional<std::int32_t> parseNo(std::string_view text) {
  std::int32_t value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || status != std::errc{} || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

// The next line of text at pos (ending at CR, LF or CRLF); false when none is left.
bool nextLine(std::string_view text, std::size_t& pos, std::string_view& line) {
  if (pos >= text.size()) return false;
  const std::size_t end = text.find_first_of("\r\n", pos);
  if (end == std::string_view::npos) {
    line = text.substr(pos);
    pos = text.size();
    return true;
  }
  line = text.substr(pos, end - pos);
  pos = end + 1;
  if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  return true;
}

// Fields by position: No, Time, Value, Unit, V_Range, I_Range. False when a piece does not
// convert to its field, the line has more than six pieces, or it holds a NUL byte (binary
// data, and a text no table file could carry further).
bool recordFromLine(std::string_view line, const LongTimeFormat& timeFormat, RecordFields& fields) {
  if (line.find('\0') != std::string_view::npos) return false;
  std::array<std::string_view, ReadingsTable::fieldCount> pieces;
  std::size_t count = 0;
  for (;;) {
    if (count == pieces.size()) return false;
    const std::size_t tab = line.find('\t');
    pieces[count++] = line.substr(0, tab);
    if (tab == std::string_view::npos) break;
    line.remove_prefix(tab + 1);
  }
  fields.No = parseNo(pieces[0]);
  if (!fields.No) return false;
  if (count > 1) {
    fields.TimeMs = timeFormat.parse(pieces[1]);
    if (!fields.TimeMs) return false;
  }
  std::array<std::optional<std::string>*, 4> texts{&fields.Value, &fields.Unit, &fields.V_Range,
                                                   &fields.I_Range};
  for (std::size_t k = 2; k < count; ++k) *texts[k - 2] = std::string(pieces[k]);
  return true;
}

}  // namespace

std::string writeTextTable(const ReadingsTable& table, const LongTimeFormat& timeFormat) {
  std::string out;
  out.reserve(headerLine.size() + table.recordCount() * 64);
  out += headerLine;
  std::array<char, 16> number{};
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    if (const auto no = table.no(row)) {
      const auto result = std::to_chars(number.data(), number.data() + number.size(), *no);
      out.append(number.data(), result.ptr);
    }
    out.push_back('\t');
    if (const auto time = table.timeMs(row)) {
      timeFormat.appendTo(out, *time);
    } else {
      out += nullCell;
    }
    appendTextCell(out, table.text(row, ReadingsTable::Value));
    appendTextCell(out, table.text(row, ReadingsTable::Unit));
    appendTextCell(out, table.text(row, ReadingsTable::V_Range));
    appendTextCell(out, table.text(row, ReadingsTable::I_Range));
    out += "\r\n";
  }
  return out;
}

bool readTextTable(std::string_view bytes, ReadingsTable& table, const LongTimeFormat& timeFormat) {
  std::size_t pos = 0;
  std::string_view line;
  if (!nextLine(bytes, pos, line)) return false;  // no first line to drop
  while (nextLine(bytes, pos, line)) {
    RecordFields fields;
    if (!recordFromLine(line, timeFormat, fields)) return false;
    table.append(fields);
  }
  return true;
}

}  // namespace ostrel
