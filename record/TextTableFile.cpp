// The tab-separated text form of the readings table.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "JournalRecovery.h"
#include "TableFiles.h"
#include "TextTableFormat.h"
#include "WholeNumber.h"

namespace ostrel {

namespace {

// The longest line a table file may hold. A record line is six short cells (the table keeps
// 20 bytes of a text); a longer "line" is no table's, and a file of a gigabyte without a line
// break (a sparse file, say) is refused after this much of it is read, not read through.
constexpr std::size_t maxLineBytes = textMaxLineBytes;

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

// Fields by position: No, Time, Value, Unit, V_Range, I_Range, and with `journal` a seventh,
// the test time in whole seconds, and the time in the journal's form with milliseconds too.
// The texts are views into the line. Null when the line reads; else where in it the failing
// piece starts (one that does not convert to its field, or a piece more than the form has).
const char* recordFromLine(std::string_view line, const LongTimeFormat& timeFormat,
                           RecordView& fields, bool journal) {
  std::array<std::string_view, ReadingsTable::fieldCount + 1> pieces;
  const std::size_t maxPieces = ReadingsTable::fieldCount + (journal ? 1 : 0);
  std::size_t count = 0;
  for (;;) {
    if (count == maxPieces) return line.data();
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
  if (!fields.No) return pieces[0].data();
  if (count > 1) {
    fields.TimeMs = journal ? parseJournalTime(pieces[1]) : std::nullopt;
    if (!fields.TimeMs) fields.TimeMs = timeFormat.parse(pieces[1]);
    if (!fields.TimeMs) return pieces[1].data();
  }
  std::array<std::optional<std::string_view>*, 4> texts{&fields.Value, &fields.Unit,
                                                        &fields.V_Range, &fields.I_Range};
  for (std::size_t k = 2; k < count && k < ReadingsTable::fieldCount; ++k) {
    *texts[k - 2] = pieces[k];
  }
  if (count > ReadingsTable::fieldCount) {
    const std::string_view cell = pieces[ReadingsTable::fieldCount];
    fields.TestTime = parseInt32(cell);
    if (!fields.TestTime || *fields.TestTime < 0) return cell.data();
  }
  return nullptr;
}

// The first line is a header and not read, but it must be one: no NUL byte (TableFiles only
// looks at the file's first bytes), no longer than any line, and in a file that holds nothing
// after it, tab-separated titles, as every table's header has. A file of one line of anything
// else holds no table and is refused, not loaded as an empty one.
LoadResult readHeader(LineSplitter& lines, std::string_view bytes) {
  std::string_view header;
  if (!lines.next(header)) {
    return lines.tooLong() ? LoadResult::failed(LoadFailureKind::LineTooLong, 1, 0)
                           : LoadResult::failed(LoadFailureKind::NotTextTable);
  }
  if (lines.lineHoldsNul() ||
      (lines.position() >= bytes.size() && header.find('\t') == std::string_view::npos)) {
    return LoadResult::failed(LoadFailureKind::NotTextTable);
  }
  return {};
}

LoadResult readLines(std::string_view bytes, ReadingsTable& table, const LongTimeFormat& timeFormat,
                     const ReleaseConsumed& consumed, bool journal) {
  constexpr std::size_t releaseStep = std::size_t{4} << 20;
  LineSplitter lines(bytes);
  if (LoadResult header = readHeader(lines, bytes); !header.ok()) return header;
  std::size_t released = 0;
  std::size_t lineNumber = 1;
  std::string_view line;
  while (lines.next(line)) {
    ++lineNumber;
    // A NUL byte fails the line: binary data, and a text no table file could carry further.
    RecordView fields;
    const char* failed = lines.lineHoldsNul() ? line.data() + std::min(line.size(), line.find('\0'))
                                              : recordFromLine(line, timeFormat, fields, journal);
    if (failed != nullptr) {
      return LoadResult::failed(LoadFailureKind::DamagedLine, lineNumber,
                                static_cast<std::size_t>(failed - bytes.data()));
    }
    table.appendView(fields);
    if (consumed && lines.position() - released >= releaseStep) {
      released = lines.position();
      if (!consumed(released)) return LoadResult::failed(LoadFailureKind::Cancelled);
    }
  }
  if (lines.tooLong()) {
    return LoadResult::failed(LoadFailureKind::LineTooLong, lineNumber + 1, lines.position());
  }
  return {};
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

LoadResult readTextTable(std::string_view bytes, ReadingsTable& table,
                         const LongTimeFormat& timeFormat, const ReleaseConsumed& consumed) {
  return readLines(bytes, table, timeFormat, consumed, false);
}

LoadResult readJournalTable(std::string_view bytes, ReadingsTable& table,
                            const LongTimeFormat& timeFormat, const ReleaseConsumed& consumed) {
  return readLines(bytes, table, timeFormat, consumed, true);
}

}  // namespace ostrel
