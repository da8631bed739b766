// The tab-separated text form of the readings table.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "TableFiles.h"
#include "TextTableFormat.h"
#include "WholeNumber.h"

namespace ostrel {

namespace {

// The longest line a table file may hold. A record line is six short cells (the table keeps
// 20 bytes of a text); a longer "line" is no table's, and a file of a gigabyte without a line
// break (a sparse file, say) is refused after this much of it is read, not read through.
constexpr std::size_t maxLineBytes = std::size_t{1} << 20;

// Splits text into lines ending at CR, LF or CRLF. Each of the two marks is searched with
// memchr and where it was found (or how far it is known to be absent) kept until passed, so a
// text that uses only one of them is still scanned once overall; no search goes further than
// one line of the longest length ahead.
class LineSplitter {
 public:
  explicit LineSplitter(std::string_view text) : m_text(text) {}

  // The offset of the next line.
  [[nodiscard]] std::size_t position() const { return m_pos; }
  // True once next() met a line longer than maxLineBytes.
  [[nodiscard]] bool tooLong() const { return m_tooLong; }
  // Whether the line next() gave last holds a NUL byte (searched like the marks).
  [[nodiscard]] bool lineHoldsNul() const { return m_lineHoldsNul; }

  // The next line; false when none is left or the next one is too long.
  bool next(std::string_view& line) {
    if (m_pos >= m_text.size() || m_tooLong) return false;
    const std::size_t limit = std::min(m_text.size(), m_pos + maxLineBytes + 1);
    const std::size_t end = std::min(nextMark(m_cr, '\r', limit), nextMark(m_lf, '\n', limit));
    const std::size_t nul = nextMark(m_nul, '\0', limit);
    m_lineHoldsNul = nul < end || (end >= limit && nul < m_text.size());
    if (end < limit) {
      line = m_text.substr(m_pos, end - m_pos);
      m_pos =
          end + (m_text[end] == '\r' && end + 1 < m_text.size() && m_text[end + 1] == '\n' ? 2 : 1);
      return true;
    }
    if (limit < m_text.size()) {
      m_tooLong = true;
      return false;
    }
    line = m_text.substr(m_pos);  // the last line, without a line break
    m_pos = m_text.size();
    return true;
  }

 private:
  // Where a mark is, or (not found) the offset up to which it is known to be absent.
  struct Mark {
    std::size_t at = 0;
    bool found = false;
  };

  // The offset of the next `mark` at or after the current position when it lies before
  // `limit`, else an offset of at least `limit`.
  std::size_t nextMark(Mark& cached, char mark, std::size_t limit) const {
    if (cached.found && cached.at >= m_pos) return cached.at;
    const std::size_t from = !cached.found && cached.at > m_pos ? cached.at : m_pos;
    if (from < limit) {
      const void* hit = std::memchr(m_text.data() + from, mark, limit - from);
      if (hit != nullptr) {
        cached = {static_cast<std::size_t>(static_cast<const char*>(hit) - m_text.data()), true};
        return cached.at;
      }
    }
    cached = {std::max(from, limit), false};
    return cached.at;
  }

  std::string_view m_text;
  std::size_t m_pos = 0;
  Mark m_cr;
  Mark m_lf;
  Mark m_nul;
  bool m_tooLong = false;
  bool m_lineHoldsNul = false;
};

// Fields by position: No, Time, Value, Unit, V_Range, I_Range, and with `testTimeCell` a
// seventh, the test time in whole seconds. False when a piece does not convert to its field or
// the line has more pieces than that. The texts are views into the line.
bool recordFromLine(std::string_view line, const LongTimeFormat& timeFormat, RecordView& fields,
                    bool testTimeCell) {
  std::array<std::string_view, ReadingsTable::fieldCount + 1> pieces;
  const std::size_t maxPieces = ReadingsTable::fieldCount + (testTimeCell ? 1 : 0);
  std::size_t count = 0;
  for (;;) {
    if (count == maxPieces) return false;
    const void* tab = std::memchr(line.data(), '\t', line.size());
    if (tab == nullptr) {
      pieces[count++] = line;
      break;
    }
    const auto length = static_cast<std::size_t>(static_cast<const char*>(tab) - line.data());
    pieces[count++] = line.substr(0, length);
    line.remove_prefix(length + 1);
  }
  fields.No = parseInt32(pieces[0]);
  if (!fields.No) return false;
  if (count > 1) {
    fields.TimeMs = timeFormat.parse(pieces[1]);
    if (!fields.TimeMs) return false;
  }
  std::array<std::optional<std::string_view>*, 4> texts{&fields.Value, &fields.Unit,
                                                        &fields.V_Range, &fields.I_Range};
  for (std::size_t k = 2; k < count && k < ReadingsTable::fieldCount; ++k) {
    *texts[k - 2] = pieces[k];
  }
  if (count > ReadingsTable::fieldCount) {
    fields.TestTime = parseInt32(pieces[ReadingsTable::fieldCount]);
    if (!fields.TestTime || *fields.TestTime < 0) return false;
  }
  return true;
}

// The first line is a header and not read, but it must be one: no NUL byte (TableFiles only
// looks at the file's first bytes), no longer than any line, and in a file that holds nothing
// after it, tab-separated titles, as every table's header has. A file of one line of anything
// else holds no table and is refused, not loaded as an empty one.
bool readHeader(LineSplitter& lines, std::string_view bytes) {
  std::string_view header;
  if (!lines.next(header) || lines.lineHoldsNul()) return false;
  return lines.position() < bytes.size() || header.find('\t') != std::string_view::npos;
}

bool readLines(std::string_view bytes, ReadingsTable& table, const LongTimeFormat& timeFormat,
               const ReleaseConsumed& consumed, bool testTimeCell) {
  constexpr std::size_t releaseStep = std::size_t{4} << 20;
  LineSplitter lines(bytes);
  if (!readHeader(lines, bytes)) return false;
  std::size_t released = 0;
  std::string_view line;
  while (lines.next(line)) {
    // A NUL byte fails the line: binary data, and a text no table file could carry further.
    RecordView fields;
    if (lines.lineHoldsNul() || !recordFromLine(line, timeFormat, fields, testTimeCell)) {
      return false;
    }
    table.appendView(fields);
    if (consumed && lines.position() - released >= releaseStep) {
      released = lines.position();
      if (!consumed(released)) return false;
    }
  }
  return !lines.tooLong();
}

}  // namespace

bool writeTextTable(const ReadingsTable& table, const LongTimeFormat& timeFormat,
                    const ByteSink& sink) {
  ChunkedOutput output(sink);
  std::string& out = output.buffer();
  out += textHeaderLine;
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    appendTextRecordLine(out, table, row, timeFormat);
    if (!output.spillIfFull()) return false;
  }
  return output.finish();
}

std::string writeTextTable(const ReadingsTable& table, const LongTimeFormat& timeFormat) {
  std::string out;
  out.reserve(textHeaderLine.size() + table.recordCount() * 64);
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

}  // namespace ostrel
