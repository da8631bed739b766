// The tab-separated text form of the readings table.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string>

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

// Splits text into lines ending at CR, LF or CRLF. Each of the two marks is searched with
// memchr and its next place kept until passed, so a text that uses only one of them is still
// scanned once overall.
class LineSplitter {
 public:
  explicit LineSplitter(std::string_view text) : m_text(text) {}

  // The offset of the next line.
  [[nodiscard]] std::size_t position() const { return m_pos; }

  // The next line; false when none is left.
  bool next(std::string_view& line) {
    if (m_pos >= m_text.size()) return false;
    const std::size_t cr = nextMark(m_nextCr, '\r');
    const std::size_t lf = nextMark(m_nextLf, '\n');
    const std::size_t end = std::min(cr, lf);
    if (end == m_text.size()) {
      line = m_text.substr(m_pos);
      m_pos = m_text.size();
      return true;
    }
    line = m_text.substr(m_pos, end - m_pos);
    m_pos = end + (end == cr && lf == cr + 1 ? 2 : 1);
    return true;
  }

 private:
  // The offset of the next `mark` at or after the current position, or the text's size.
  std::size_t nextMark(std::size_t& cached, char mark) const {
    if (cached != unknown && cached >= m_pos) return cached;
    const void* found = std::memchr(m_text.data() + m_pos, mark, m_text.size() - m_pos);
    cached = found == nullptr
                 ? m_text.size()
                 : static_cast<std::size_t>(static_cast<const char*>(found) - m_text.data());
    return cached;
  }

  static constexpr std::size_t unknown = std::string_view::npos;
  std::string_view m_text;
  std::size_t m_pos = 0;
  std::size_t m_nextCr = unknown;
  std::size_t m_nextLf = unknown;
};

// Fields by position: No, Time, Value, Unit, V_Range, I_Range, and with `testTimeCell` a
// seventh, the test time in whole seconds. False when a piece does not convert to its field,
// the line has more pieces than that, or it holds a NUL byte (binary data, and a text no
// table file could carry further).
bool recordFromLine(std::string_view line, const LongTimeFormat& timeFormat, RecordFields& fields,
                    bool testTimeCell) {
  if (line.find('\0') != std::string_view::npos) return false;
  std::array<std::string_view, ReadingsTable::fieldCount + 1> pieces;
  const std::size_t maxPieces = ReadingsTable::fieldCount + (testTimeCell ? 1 : 0);
  std::size_t count = 0;
  for (;;) {
    if (count == maxPieces) return false;
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
  for (std::size_t k = 2; k < count && k < ReadingsTable::fieldCount; ++k) {
    *texts[k - 2] = std::string(pieces[k]);
  }
  if (count > ReadingsTable::fieldCount) {
    fields.TestTime = parseNo(pieces[ReadingsTable::fieldCount]);
    if (!fields.TestTime || *fields.TestTime < 0) return false;
  }
  return true;
}

bool readLines(std::string_view bytes, ReadingsTable& table, const LongTimeFormat& timeFormat,
               const ReleaseConsumed& consumed, bool testTimeCell) {
  constexpr std::size_t releaseStep = std::size_t{4} << 20;
  LineSplitter lines(bytes);
  std::string_view line;
  if (!lines.next(line)) return false;  // no first line to drop
  std::size_t released = 0;
  while (lines.next(line)) {
    RecordFields fields;
    if (!recordFromLine(line, timeFormat, fields, testTimeCell)) return false;
    table.append(fields);
    if (consumed && lines.position() - released >= releaseStep) {
      released = lines.position();
      if (!consumed(released)) return false;
    }
  }
  return true;
}

}  // namespace

bool writeTextTable(const ReadingsTable& table, const LongTimeFormat& timeFormat,
                    const ByteSink& sink) {
  ChunkedOutput output(sink);
  std::string& out = output.buffer();
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
    if (!output.spillIfFull()) return false;
  }
  return output.finish();
}

std::string writeTextTable(const ReadingsTable& table, const LongTimeFormat& timeFormat) {
  std::string out;
  out.reserve(headerLine.size() + table.recordCount() * 64);
  writeTextTable(table, timeFormat, [&out](std::string_view piece) {
    out += piece;
    return true;
  });
  return out;
}

bool readTextTable(std::string_view bytes, ReadingsTable& table, const LongTimeFormat& timeFormat,
                   const ReleaseConsumed& consumed) {
  return readLines(bytes, table, timeFormat, consumed, false);
}

bool readJournalTable(std::string_view bytes, ReadingsTable& table,
                      const LongTimeFormat& timeFormat) {
  return readLines(bytes, table, timeFormat, {}, true);
}

void appendTestTimeCell(std::string& line, std::optional<std::int32_t> testTime) {
  if (!testTime) return;
  const std::size_t end = line.ends_with("\r\n") ? line.size() - 2 : line.size();
  line.insert(end, "\t" + std::to_string(*testTime));
}

}  // namespace ostrel
