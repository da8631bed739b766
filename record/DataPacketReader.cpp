#include <strings.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <utility>

#include <pugixml.hpp>

#include "DataPacket.h"
#include "GbkText.h"
#include "WholeNumber.h"

namespace ostrel {

namespace {

// A row whose state has one of these bits (original, deleted, unused) is not a record.
constexpr unsigned skippedRowStates = 1U | 2U | 32U;

// Names compare in any letter case; the usual exact spelling is checked first.
bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && (a == b || ::strncasecmp(a.data(), b.data(), b.size()) == 0);
}

pugi::xml_node child(pugi::xml_node parent, std::string_view name) {
  for (pugi::xml_node node : parent.children()) {
    if (node.type() == pugi::node_element && sameName(node.name(), name)) return node;
  }
  return {};
}

pugi::xml_attribute attribute(pugi::xml_node node, std::string_view name) {
  for (pugi::xml_attribute attr : node.attributes()) {
    if (sameName(attr.name(), name)) return attr;
  }
  return {};
}

struct FieldSpec {
  std::string_view name;
  std::string_view type;
};
constexpr std::array<FieldSpec, ReadingsTable::fieldCount> tableFields{{
    {"No", "i4"},
    {"Time", "time"},
    {"Value", "string"},
    {"Unit", "string"},
    {"V_Range", "string"},
    {"I_Range", "string"},
}};

// The packet's name for each of the six fields, or false when one is missing or typed
// differently.
bool matchFields(pugi::xml_node fields, std::array<std::string, 6>& names) {
  std::array<bool, 6> found{};
  for (pugi::xml_node field : fields.children()) {
    if (field.type() != pugi::node_element || !sameName(field.name(), "FIELD")) continue;
    const char* name = attribute(field, "attrname").value();
    for (std::size_t k = 0; k < tableFields.size(); ++k) {
      if (!sameName(name, tableFields[k].name)) continue;
      if (!sameName(attribute(field, "fieldtype").value(), tableFields[k].type)) return false;
      names[k] = name;
      found[k] = true;
    }
  }
  for (bool present : found) {
    if (!present) return false;
  }
  return true;
}

bool declaredUtf8(const pugi::xml_document& document, std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return true;
  for (pugi::xml_node node : document.children()) {
    if (node.type() != pugi::node_declaration) continue;
    const char* encoding = attribute(node, "encoding").value();
    return sameName(encoding, "UTF-8") || sameName(encoding, "UTF8");
  }
  return false;
}

constexpr unsigned parseOptions =
    pugi::parse_escapes | pugi::parse_eol | pugi::parse_wconv_attribute | pugi::parse_declaration;

// A packet that the record scanner below does not read is parsed whole by pugixml, which
// copies it and builds a node for every row: several times its size in memory. Only a packet
// this small is parsed that way; a larger one of such a shape is refused, so that no file,
// whatever it holds, takes more than the table and a few dozen megabytes to load.
constexpr std::size_t wholeParseLimit = packetWholeParseLimit;
// How far from its end the last "</ROWDATA" may lie: the packet's end tag and what may
// follow it (white space, comments).
constexpr std::size_t tailLimit = std::size_t{1} << 20;
// The progress callback is told about every this many bytes read.
constexpr std::size_t releaseStep = std::size_t{1} << 20;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Bytes that may start or continue an element or attribute name (as the XML parser takes
// them: letters, '_', ':' and every byte of a multi-byte character; then digits, '-', '.').
constexpr std::array<std::uint8_t, 256> nameTable = [] {
  std::array<std::uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    const bool start =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
    const bool more = start || (c >= '0' && c <= '9') || c == '-' || c == '.';
    table[static_cast<std::size_t>(c)] =
        static_cast<std::uint8_t>((start ? 1 : 0) | (more ? 2 : 0));
  }
  return table;
}();
bool startsName(char c) { return (nameTable[static_cast<unsigned char>(c)] & 1U) != 0; }
bool continuesName(char c) { return (nameTable[static_cast<unsigned char>(c)] & 2U) != 0; }

// Bytes that end the plain part of an attribute value: either quote, the start of a
// reference, white space that the parser turns into a blank, and what no value may hold.
constexpr std::array<bool, 256> valueStops = [] {
  std::array<bool, 256> table{};
  for (const char c : {'"', '\'', '&', '\t', '\r', '\n', '<', '\0'}) {
    table[static_cast<unsigned char>(c)] = true;
  }
  return table;
}();

void appendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// A character reference after "&#" at p ("65;" or "x41;"); the character is appended and p
// moved past the ';'. False for any other form (the packet is then parsed whole).
bool decodeCharacter(const char*& p, std::string& out) {
  const bool hex = *p == 'x';
  const char* q = hex ? p + 1 : p;
  std::uint32_t code = 0;
  int digits = 0;
  for (;; ++q, ++digits) {
    const char c = *q;
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (hex && (c | ' ') >= 'a' && (c | ' ') <= 'f') {
      digit = static_cast<unsigned>((c | ' ') - 'a' + 10);
    } else {
      break;
    }
    if (digits == 7) return false;
    code = code * (hex ? 16U : 10U) + digit;
  }
  if (*q != ';' || digits == 0 || code == 0 || code > 0x10FFFF ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    return false;
  }
  appendUtf8(out, code);
  p = q + 1;
  return true;
}

// An attribute value from p (just past its opening quote) up to `quote`, as the XML parser
// gives it: references replaced, each tab, line feed, carriage return (or CR LF) a blank. p
// ends past the closing quote. False when the value holds anything else this reader leaves
// to the parser.
bool decodeValue(const char*& p, char quote, std::string& out) {
  out.clear();
  for (;;) {
    const char c = *p;
    if (c == quote) {
      ++p;
      return true;
    }
    if (c == '\0' || c == '<') return false;
    if (c == '\t' || c == '\n' || c == '\r') {
      out.push_back(' ');
      p += c == '\r' && p[1] == '\n' ? 2 : 1;
      continue;
    }
    if (c != '&') {
      out.push_back(c);
      ++p;
      continue;
    }
    static constexpr std::array<std::pair<std::string_view, char>, 5> entities{
        {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&apos;", '\''}, {"&quot;", '"'}}};
    bool known = false;
    for (const auto& [entity, character] : entities) {
      if (std::string_view(p, entity.size()) == entity) {
        out.push_back(character);
        p += entity.size();
        known = true;
        break;
      }
    }
    if (known) continue;
    if (p[1] != '#') return false;
    p += 2;
    if (!decodeCharacter(p, out)) return false;
  }
}

// The fast path of parsePacketTime: "hh:nn:sssss" in digits. -1 when the text is of another
// form (parsePacketTime then decides).
std::int32_t plainPacketTime(std::string_view text) {
  const auto digit = [&](std::size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(text[at]) - '0');
  };
  if (text.size() != 11 || text[2] != ':' || text[5] != ':') return -1;
  unsigned within = 0;
  for (std::size_t at = 6; at < 11; ++at) {
    if (digit(at) > 9) return -1;
    within = within * 10 + digit(at);
  }
  if (digit(0) > 9 || digit(1) > 9 || digit(3) > 9 || digit(4) > 9) return -1;
  const unsigned hour = digit(0) * 10 + digit(1);
  const unsigned minute = digit(3) * 10 + digit(4);
  if (hour > 23 || minute > 59 || within >= 60'000) return -1;
  return static_cast<std::int32_t>((hour * 60 + minute) * 60'000 + within);
}

enum class Scan { Done, Failed, Stopped, Unparsed };

// Where `needle` is in bytes [from, end), searched a megabyte at a time; `passed` is told the
// offset reached after each megabyte without it, and its false ends the search. npos when the
// needle is not there or the search was ended.
template <typename Passed>
std::size_t findInSteps(std::string_view bytes, std::string_view needle, std::size_t from,
                        std::size_t end, Passed passed) {
  while (from < end) {
    const std::size_t to = std::min(end, from + releaseStep);
    const std::size_t hit = bytes.substr(0, to).find(needle, from);
    if (hit != std::string_view::npos) return hit;
    if (to == end) break;
    from = to - (needle.size() - 1);
    if (!passed(from)) break;
  }
  return std::string_view::npos;
}

// Two names of the same length, byte for byte (short: a loop beats a call).
bool sameBytes(std::string_view a, std::string_view b) {
  for (std::size_t at = 0; at < a.size(); ++at) {
    if (a[at] != b[at]) return false;
  }
  return true;
}

// Reads the records between the ROWDATA tags straight from the packet's bytes: no copy, no
// tree. It takes the simple shape every packet of ours and the usual variations have (ROW
// elements closed by "/>", white space and comments between them, attributes in any order
// and letter case, the five named and the numeric references); anything else is `unparsed`
// and the packet is parsed whole by pugixml instead. A value that does not fit its field
// fails the load, as it would in the whole parse.
class RowScanner {
 public:
  RowScanner(const std::array<std::string, 6>& names, bool utf8, ReadingsTable& table)
      : m_utf8(utf8), m_table(table) {
    for (std::size_t k = 0; k < names.size(); ++k) m_keys[k] = names[k];
    m_keys[rowStateKey] = "RowState";
  }

  // Where the attribute whose value did not fit its field starts, once scan() failed.
  [[nodiscard]] const char* failedAt() const { return m_failedAt; }

  // The records in bytes [begin, end); bytes[end] is the '<' of "</ROWDATA".
  Scan scan(std::string_view bytes, std::size_t begin, std::size_t end,
            const ReleaseConsumed& consumed) {
    const char* const base = bytes.data();
    const char* const stop = base + end;
    const char* p = base + begin;
    std::size_t nextRelease = begin + releaseStep;
    for (;;) {
      while (isSpace(*p)) ++p;
      if (p == stop) return Scan::Done;
      if (*p != '<') return Scan::Unparsed;  // text between the rows
      if (p[1] == '!' && p[2] == '-' && p[3] == '-') {
        bool stopped = false;
        const std::size_t close = findInSteps(bytes, "-->", static_cast<std::size_t>(p - base) + 4,
                                              end, [&](std::size_t offset) {
                                                stopped = consumed && !consumed(offset);
                                                return !stopped;
                                              });
        if (stopped) return Scan::Stopped;
        if (close == std::string_view::npos) return Scan::Unparsed;
        p = base + close + 3;
      } else {
        const Scan row = readRow(p);
        if (row != Scan::Done) return row;
      }
      const auto offset = static_cast<std::size_t>(p - base);
      if (offset >= nextRelease) {
        if (consumed && !consumed(offset)) return Scan::Stopped;
        nextRelease = offset + releaseStep;
      }
    }
  }

 private:
  static constexpr std::size_t rowStateKey = 6;

  // The field an attribute name stands for (rowStateKey for RowState), or -1: first the key
  // the attribute at this place had in the row before (rows repeat their order), then each
  // key's exact spelling, compared by length first, then any letter case.
  [[nodiscard]] int keyOf(std::string_view name, std::size_t place) {
    if (place < m_keyAt.size()) {
      const int last = m_keyAt[place];
      if (last >= 0 && m_keys[static_cast<std::size_t>(last)].size() == name.size() &&
          sameBytes(m_keys[static_cast<std::size_t>(last)], name)) {
        return last;
      }
    }
    const int key = findKey(name);
    if (place < m_keyAt.size()) m_keyAt[place] = key;
    return key;
  }

  [[nodiscard]] int findKey(std::string_view name) const {
    for (std::size_t k = 0; k < m_keys.size(); ++k) {
      if (m_keys[k].size() == name.size() && sameBytes(m_keys[k], name)) {
        return static_cast<int>(k);
      }
    }
    for (std::size_t k = 0; k < m_keys.size(); ++k) {
      if (sameName(m_keys[k], name)) return static_cast<int>(k);
    }
    return -1;
  }

  // One element from its '<' at p; p ends past it.
  Scan readRow(const char*& p) {
    const char* name = ++p;
    if (!startsName(*p)) return Scan::Unparsed;
    while (continuesName(*p)) ++p;
    if (!sameName(std::string_view(name, static_cast<std::size_t>(p - name)), "ROW")) {
      return Scan::Unparsed;  // another element: its content may be anything
    }
    RecordView fields;
    unsigned state = 0;
    for (std::size_t place = 0;; ++place) {
      const char* const afterPrevious = p;
      while (isSpace(*p)) ++p;
      if (*p == '/' && p[1] == '>') {
        p += 2;
        break;
      }
      if (p == afterPrevious || !startsName(*p)) return Scan::Unparsed;
      const char* const attrName = p;
      while (continuesName(*p)) ++p;
      const std::string_view key(attrName, static_cast<std::size_t>(p - attrName));
      while (isSpace(*p)) ++p;
      if (*p++ != '=') return Scan::Unparsed;
      while (isSpace(*p)) ++p;
      const char quote = *p++;
      if (quote != '"' && quote != '\'') return Scan::Unparsed;
      const int k = keyOf(key, place);
      const char* q = p;
      while (!valueStops[static_cast<unsigned char>(*q)] ||
             (*q != quote && (*q == '"' || *q == '\''))) {
        ++q;
      }
      std::string_view value;
      if (*q == quote) {
        value = std::string_view(p, static_cast<std::size_t>(q - p));
        p = q + 1;
      } else {
        std::string& decoded = m_decoded[k < 0 ? 0 : static_cast<std::size_t>(k)];
        if (!decodeValue(p, quote, decoded)) return Scan::Unparsed;
        value = decoded;
      }
      if (*p != '/' && !isSpace(*p)) return Scan::Unparsed;
      if (k >= 0 && !setField(static_cast<std::size_t>(k), value, fields, state)) {
        m_failedAt = attrName;
        return Scan::Failed;
      }
    }
    if ((state & skippedRowStates) == 0) {
      m_table.appendView(fields, static_cast<std::uint8_t>(state));
    }
    return Scan::Done;
  }

  bool setField(std::size_t key, std::string_view value, RecordView& fields, unsigned& state) {
    switch (key) {
      case rowStateKey: {
        const auto parsed = parseInt32(value);
        if (!parsed || *parsed < 0 || *parsed > 255) return false;
        state = static_cast<unsigned>(*parsed);
        return true;
      }
      case ReadingsTable::No:
        fields.No = parseInt32(value);
        return fields.No.has_value();
      case ReadingsTable::Time: {
        const std::int32_t plain = plainPacketTime(value);
        fields.TimeMs = plain >= 0 ? std::optional<std::int32_t>(plain) : parsePacketTime(value);
        return fields.TimeMs.has_value();
      }
      default:
        break;
    }
    const std::size_t text = key - ReadingsTable::Value;
    std::array<std::optional<std::string_view>*, 4> texts{&fields.Value, &fields.Unit,
                                                          &fields.V_Range, &fields.I_Range};
    if (m_utf8) {
      m_converted[text] = m_gbk.toGbk(value);
      value = m_converted[text];
    }
    *texts[text] = value;
    return true;
  }

  std::array<std::string_view, 7> m_keys;
  const char* m_failedAt = nullptr;
  std::array<int, 8> m_keyAt{-1, -1, -1, -1, -1, -1, -1, -1};  // see keyOf()
  bool m_utf8;
  ReadingsTable& m_table;
  std::array<std::string, 7> m_decoded;    // values with references, as the parser gives them
  std::array<std::string, 4> m_converted;  // texts of a UTF-8 packet, in GBK
  GbkConverter m_gbk;
};

// The same for the rows of a packet parsed whole.
class RowReader {
 public:
  RowReader(const std::array<std::string, 6>& names, bool utf8) : m_names(names), m_utf8(utf8) {}

  // Appends the row unless its state skips it; false when a value does not fit its field.
  bool read(pugi::xml_node row, ReadingsTable& table) {
    RecordView fields;
    unsigned state = 0;
    for (pugi::xml_attribute attr : row.attributes()) {
      const std::string_view name = attr.name();
      const std::string_view value = attr.value();
      if (sameName(name, "RowState")) {
        const auto parsed = parseInt32(value);
        if (!parsed || *parsed < 0 || *parsed > 255) return false;
        state = static_cast<unsigned>(*parsed);
      } else if (!setField(name, value, fields)) {
        return false;
      }
    }
    if ((state & skippedRowStates) != 0) return true;
    table.appendView(fields, static_cast<std::uint8_t>(state));
    return true;
  }

 private:
  bool setField(std::string_view name, std::string_view value, RecordView& fields) {
    if (sameName(name, m_names[ReadingsTable::No])) {
      fields.No = parseInt32(value);
      return fields.No.has_value();
    }
    if (sameName(name, m_names[ReadingsTable::Time])) {
      fields.TimeMs = parsePacketTime(value);
      return fields.TimeMs.has_value();
    }
    std::array<std::optional<std::string_view>*, 4> texts{&fields.Value, &fields.Unit,
                                                          &fields.V_Range, &fields.I_Range};
    for (std::size_t k = 0; k < texts.size(); ++k) {
      if (sameName(name, m_names[ReadingsTable::Value + k])) {
        if (m_utf8) {
          m_converted[k] = m_gbk.toGbk(value);
          *texts[k] = m_converted[k];
        } else {
          *texts[k] = value;
        }
        return true;
      }
    }
    return true;  // an attribute of no field of ours
  }

  const std::array<std::string, 6>& m_names;
  bool m_utf8;
  std::array<std::string, 4> m_converted;  // texts of a UTF-8 packet, in GBK
  GbkConverter m_gbk;
};

LoadResult readRows(pugi::xml_node parent, RowReader& reader, ReadingsTable& table) {
  for (pugi::xml_node row : parent.children()) {
    if (row.type() != pugi::node_element || !sameName(row.name(), "ROW")) continue;
    if (!reader.read(row, table)) {
      // pugixml gives an element's offset as that of its name, one past the '<'.
      const auto at = static_cast<std::size_t>(std::max<std::ptrdiff_t>(row.offset_debug(), 1));
      return LoadResult::failed(LoadFailureKind::DamagedRow, 0, at - 1);
    }
  }
  return {};
}

// After `name` at pos: optional blanks and '>'; the offset after '>' or npos.
std::size_t tagEnd(std::string_view bytes, std::size_t pos) {
  while (pos < bytes.size() && isSpace(bytes[pos])) ++pos;
  return pos < bytes.size() && bytes[pos] == '>' ? pos + 1 : std::string_view::npos;
}

// The offset of the last "</ROWDATA" end tag after `begin`, or npos. Only the packet's last
// megabyte is searched, so that a file with anything after its records is not read through
// from its end.
std::size_t findRowsEnd(std::string_view bytes, std::size_t begin) {
  constexpr std::string_view close = "</ROWDATA";
  const std::size_t floor =
      std::max(begin, bytes.size() > tailLimit ? bytes.size() - tailLimit : std::size_t{0});
  const std::string_view tail = bytes.substr(floor);
  for (std::size_t at = tail.rfind('<'); at != std::string_view::npos;
       at = at == 0 ? std::string_view::npos : tail.rfind('<', at - 1)) {
    if (sameName(tail.substr(at, close.size()), close) &&
        tagEnd(bytes, floor + at + close.size()) != std::string_view::npos) {
      return floor + at;
    }
  }
  return std::string_view::npos;
}

// The packet's head, everything before its records, copied for pugixml to check: comments
// are left out, and so is the content of every long attribute value (a packet saved from a
// text file names every record in its CHANGE_LOG, about 120 MB at ten million records, which
// nothing here reads). The packet is read front to back once and what was passed is released,
// so a head of any size costs a few megabytes; a copy that would still exceed
// wholeParseLimit is refused.
class HeadCopy {
 public:
  HeadCopy(std::string_view packet, const ReleaseConsumed& consumed)
      : m_packet(packet), m_consumed(consumed) {}

  std::string bytes;          // the copy
  std::size_t startTag = 0;   // offset of "<ROWDATA" in the copy
  std::size_t rowsBegin = 0;  // offset in the packet after the ROWDATA start tag
  bool stopped = false;       // the progress callback said stop

  // False when the packet has no plain "<ROWDATA>" start tag outside comments, or its head
  // holds markup that only a whole parse should judge (a DOCTYPE, a CDATA section).
  bool copy() {
    std::size_t at = 0;
    while (at < m_packet.size() && bytes.size() <= wholeParseLimit) {
      if (!release(at)) return false;
      if (m_packet[at] != '<') {
        // Text (white space, in a packet) up to the next tag, a megabyte at most at a time.
        const std::size_t to = std::min(m_packet.size(), at + releaseStep);
        const std::size_t next = std::min(to, m_packet.substr(0, to).find('<', at));
        bytes.append(m_packet.substr(at, next - at));
        at = next;
      } else if (m_packet.substr(at, 4) == "<!--") {
        const std::size_t close = findText("-->", at + 4);
        if (close == std::string_view::npos) return false;
        at = close + 3;
      } else if (m_packet.substr(at, 2) == "<?") {
        const std::size_t close = findText("?>", at + 2);
        if (close == std::string_view::npos) return false;
        bytes.append(m_packet.substr(at, close + 2 - at));
        at = close + 2;
      } else if (at + 8 < m_packet.size() && sameName(m_packet.substr(at, 8), "<ROWDATA") &&
                 !continuesName(m_packet[at + 8])) {
        rowsBegin = tagEnd(m_packet, at + 8);
        if (rowsBegin == std::string_view::npos) return false;
        startTag = bytes.size();
        bytes.append(m_packet.substr(at, rowsBegin - at));
        return true;
      } else if (m_packet.substr(at, 2) == "<!" || !copyTag(at)) {
        return false;
      }
    }
    return false;
  }

 private:
  static constexpr std::size_t longValue = 4096;

  // One tag from its '<' at `at` to its '>'; `at` ends past it.
  bool copyTag(std::size_t& at) {
    std::size_t from = at;  // copied up to here
    for (std::size_t pos = at + 1; pos < m_packet.size(); ++pos) {
      const char c = m_packet[pos];
      if (c == '>') {
        bytes.append(m_packet.substr(from, pos + 1 - from));
        at = pos + 1;
        return true;
      }
      if (c == '<') return false;
      if (c != '"' && c != '\'') continue;
      bool markup = false;
      const std::size_t close = find(c, pos + 1, &markup);
      if (close >= m_packet.size()) return false;
      if (close - pos - 1 > longValue && !markup) {
        bytes.append(m_packet.substr(from, pos + 1 - from));
        from = close;
      }
      pos = close;
      if (bytes.size() > wholeParseLimit) return false;
    }
    return false;
  }

  // The next `c` from `from` (the packet's size when none), a megabyte at a time, releasing
  // what was passed; `markup` tells whether a '<' or NUL came before it.
  std::size_t find(char c, std::size_t from, bool* markup = nullptr) {
    while (from < m_packet.size()) {
      const std::size_t to = std::min(m_packet.size(), from + releaseStep);
      const std::string_view window = m_packet.substr(from, to - from);
      const std::size_t hit = window.find(c);
      const std::string_view passed = window.substr(0, hit);
      if (markup != nullptr && (passed.find('<') != std::string_view::npos ||
                                passed.find('\0') != std::string_view::npos)) {
        *markup = true;
      }
      if (hit != std::string_view::npos) return from + hit;
      from = to;
      if (!release(from)) return m_packet.size();
    }
    return m_packet.size();
  }

  std::size_t findText(std::string_view needle, std::size_t from) {
    return findInSteps(m_packet, needle, from, m_packet.size(),
                       [this](std::size_t offset) { return release(offset); });
  }

  bool release(std::size_t at) {
    if (at < m_nextRelease || stopped) return !stopped;
    m_nextRelease = at + releaseStep;
    if (m_consumed && !m_consumed(at)) stopped = true;
    return !stopped;
  }

  std::string_view m_packet;
  const ReleaseConsumed& m_consumed;
  std::size_t m_nextRelease = releaseStep;
};

// The packet without its records, checked like a whole packet: the six fields and whether
// its texts are UTF-8.
struct PacketHead {
  std::string bytes;  // parsed in place: the document's texts point into it
  pugi::xml_document document;
  pugi::xml_node rowData;
  std::array<std::string, 6> names;
  bool utf8 = false;
};

// What the packet lacks; empty when it is one.
std::string checkHead(std::string_view wholePacket, PacketHead& head) {
  const pugi::xml_node packet = head.document.document_element();
  if (!sameName(packet.name(), "DATAPACKET")) return "its root element is no DATAPACKET";
  for (pugi::xml_node node = packet.next_sibling(); node; node = node.next_sibling()) {
    if (node.type() == pugi::node_element) return "more than one root element";
  }
  const pugi::xml_node fields = child(child(packet, "METADATA"), "FIELDS");
  if (!fields || !matchFields(fields, head.names)) {
    return "one of the six fields is missing or of another type";
  }
  head.rowData = child(packet, "ROWDATA");
  head.utf8 = declaredUtf8(head.document, wholePacket);
  return {};
}

// Reads the records straight from the packet's bytes (see RowScanner), the rest of the
// packet parsed by pugixml without them. `unparsed` when the packet does not have that
// simple shape.
// `failedAt`: where the row that failed went wrong.
Scan readScanned(std::string_view bytes, ReadingsTable& table, const ReleaseConsumed& consumed,
                 std::size_t& failedAt) {
  HeadCopy copy(bytes, consumed);
  if (!copy.copy()) return copy.stopped ? Scan::Stopped : Scan::Unparsed;
  const std::size_t rowsEnd = findRowsEnd(bytes, copy.rowsBegin);
  if (rowsEnd == std::string_view::npos) return Scan::Unparsed;
  PacketHead head;
  head.bytes = std::move(copy.bytes);
  head.bytes.append(bytes.substr(rowsEnd));
  // The copy's ROWDATA must be the one whose content was cut out; pugixml gives an element's
  // offset as that of its name, one past the '<'.
  if (!head.document.load_buffer_inplace(head.bytes.data(), head.bytes.size(), parseOptions,
                                         pugi::encoding_utf8) ||
      !checkHead(bytes, head).empty() || !head.rowData ||
      head.rowData.offset_debug() != static_cast<std::ptrdiff_t>(copy.startTag + 1)) {
    return Scan::Unparsed;
  }
  RowScanner scanner(head.names, head.utf8, table);
  const Scan scanned = scanner.scan(bytes, copy.rowsBegin, rowsEnd, consumed);
  if (scanned == Scan::Failed)
    failedAt = static_cast<std::size_t>(scanner.failedAt() - bytes.data());
  return scanned;
}

LoadResult readWhole(std::string_view bytes, ReadingsTable& table) {
  if (bytes.size() > wholeParseLimit) return LoadResult::failed(LoadFailureKind::TooLargeToParse);
  PacketHead head;
  const pugi::xml_parse_result parsed =
      head.document.load_buffer(bytes.data(), bytes.size(), parseOptions, pugi::encoding_utf8);
  if (!parsed) {
    // The parser may name the place just past the end where the text ran out.
    const auto at = static_cast<std::size_t>(std::max<std::ptrdiff_t>(parsed.offset, 0));
    return LoadResult::failed(LoadFailureKind::BrokenXml, 0, std::min(at, bytes.size()),
                              parsed.description());
  }
  if (std::string lacks = checkHead(bytes, head); !lacks.empty()) {
    return LoadResult::failed(LoadFailureKind::NotDataPacket, 0, 0, std::move(lacks));
  }
  if (!head.rowData) return {};  // metadata only: a packet without records
  RowReader reader(head.names, head.utf8);
  return readRows(head.rowData, reader, table);
}

}  // namespace

std::optional<std::int32_t> parsePacketTime(std::string_view text) {
  // hh:nn:ss + milliseconds within the minute as five digits; plain hh:nn:ss accepted too.
  if (text.size() < 7 || text[2] != ':' || text[5] != ':') return std::nullopt;
  const auto hour = parseInt32(text.substr(0, 2));
  const auto minute = parseInt32(text.substr(3, 2));
  const std::string_view rest = text.substr(6);
  const auto within = parseInt32(rest);
  if (!hour || !minute || !within || *hour < 0 || *hour > 23 || *minute < 0 || *minute > 59 ||
      rest.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  std::int32_t msInMinute = 0;
  if (rest.size() == 5 && *within < 60'000) {
    msInMinute = *within;
  } else if (rest.size() == 2 && *within < 60) {
    msInMinute = *within * 1000;
  } else {
    return std::nullopt;
  }
  return (*hour * 60 + *minute) * 60'000 + msInMinute;
}

LoadResult readDataPacket(std::string_view bytes, ReadingsTable& table,
                          const ReleaseConsumed& consumed) {
  // The bytes are taken as they are (GBK passes through); only a UTF-8 packet is converted.
  std::size_t failedAt = 0;
  switch (readScanned(bytes, table, consumed, failedAt)) {
    case Scan::Done:
      return {};
    case Scan::Failed:
      return LoadResult::failed(LoadFailureKind::DamagedRow, 0, failedAt);
    case Scan::Stopped:
      return LoadResult::failed(LoadFailureKind::Cancelled);
    case Scan::Unparsed:
      break;
  }
  table.clear();
  return readWhole(bytes, table);
}

}  // namespace ostrel
