#include <strings.h>
#include <algorithm>
#include <array>
#include <charconv>

#include <pugixml.hpp>

#include "DataPacket.h"
#include "GbkText.h"

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

std::optional<std::int32_t> parseInt32(std::string_view text) {
  std::int32_t value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (status != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
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

constexpr unsigned parseOptions =
    pugi::parse_escapes | pugi::parse_eol | pugi::parse_wconv_attribute | pugi::parse_declaration;

bool readRows(pugi::xml_node parent, RowReader& reader, ReadingsTable& table) {
  for (pugi::xml_node row : parent.children()) {
    if (row.type() != pugi::node_element || !sameName(row.name(), "ROW")) continue;
    if (!reader.read(row, table)) return false;
  }
  return true;
}

// Where the records of a packet lie: between a plain "<ROWDATA>" start tag and the last
// "</ROWDATA>" end tag.
struct RowSpan {
  std::size_t startTag = 0;  // offset of "<ROWDATA"
  std::size_t begin = 0;     // first byte after the start tag
  std::size_t end = 0;       // offset of the last "</ROWDATA"
};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// After `name` at pos: optional blanks and '>'; the offset after '>' or npos.
std::size_t tagEnd(std::string_view bytes, std::size_t pos) {
  while (pos < bytes.size() && isSpace(bytes[pos])) ++pos;
  return pos < bytes.size() && bytes[pos] == '>' ? pos + 1 : std::string_view::npos;
}

std::optional<RowSpan> findRowSpan(std::string_view bytes) {
  constexpr std::string_view open = "<ROWDATA";
  constexpr std::string_view close = "</ROWDATA";
  RowSpan span;
  for (std::size_t at = bytes.find('<'); at != std::string_view::npos;
       at = bytes.find('<', at + 1)) {
    if (!sameName(bytes.substr(at, open.size()), open)) continue;
    span.startTag = at;
    span.begin = tagEnd(bytes, at + open.size());
    break;
  }
  if (span.begin == 0 || span.begin == std::string_view::npos) return std::nullopt;
  for (std::size_t at = bytes.rfind('<'); at != std::string_view::npos && at >= span.begin;
       at = at == 0 ? std::string_view::npos : bytes.rfind('<', at - 1)) {
    if (sameName(bytes.substr(at, close.size()), close) &&
        tagEnd(bytes, at + close.size()) != std::string_view::npos) {
      span.end = at;
      return span;
    }
  }
  return std::nullopt;
}

// The packet without its records, checked like a whole packet: the six fields and whether
// its texts are UTF-8.
struct PacketHead {
  pugi::xml_document document;
  pugi::xml_node rowData;
  std::array<std::string, 6> names;
  bool utf8 = false;
};

bool readHead(std::string_view bytes, std::string_view wholePacket, PacketHead& head) {
  if (!head.document.load_buffer(bytes.data(), bytes.size(), parseOptions, pugi::encoding_utf8)) {
    return false;
  }
  const pugi::xml_node packet = head.document.document_element();
  if (!sameName(packet.name(), "DATAPACKET")) return false;
  for (pugi::xml_node node = packet.next_sibling(); node; node = node.next_sibling()) {
    if (node.type() == pugi::node_element) return false;  // one root element only
  }
  const pugi::xml_node fields = child(child(packet, "METADATA"), "FIELDS");
  if (!fields || !matchFields(fields, head.names)) return false;
  head.rowData = child(packet, "ROWDATA");
  head.utf8 = declaredUtf8(head.document, wholePacket);
  return true;
}

// Parses the records piece by piece (about a megabyte each, cut before a '<'), which keeps
// the parsed tree small and in cache. False when the packet does not have that simple
// shape; the caller then parses it whole.
bool readInPieces(std::string_view bytes, ReadingsTable& table, const ReleaseConsumed& consumed,
                  bool& stopped) {
  const auto span = findRowSpan(bytes);
  if (!span) return false;
  std::string skeleton(bytes.substr(0, span->begin));
  skeleton.append(bytes.substr(span->end));
  PacketHead head;
  // The skeleton's ROWDATA must be the one whose content was cut out; pugixml gives an
  // element's offset as that of its name, one past the '<'.
  if (!readHead(skeleton, bytes, head) || !head.rowData ||
      head.rowData.offset_debug() != static_cast<std::ptrdiff_t>(span->startTag + 1)) {
    return false;
  }
  RowReader reader(head.names, head.utf8);
  constexpr std::size_t pieceBytes = std::size_t{1} << 20;
  pugi::xml_document piece;
  for (std::size_t begin = span->begin; begin < span->end;) {
    std::size_t end = std::min(span->end, begin + pieceBytes);
    if (end < span->end) {
      const std::size_t cut = bytes.rfind('<', end);
      end = cut != std::string_view::npos && cut > begin ? cut : span->end;
    }
    if (!piece.load_buffer(bytes.data() + begin, end - begin, parseOptions | pugi::parse_fragment,
                           pugi::encoding_utf8) ||
        !readRows(piece, reader, table)) {
      return false;
    }
    if (consumed && !consumed(end)) {
      stopped = true;
      return false;
    }
    begin = end;
  }
  return true;
}

bool readWhole(std::string_view bytes, ReadingsTable& table) {
  PacketHead head;
  if (!readHead(bytes, bytes, head)) return false;
  if (!head.rowData) return true;  // metadata only: a packet without records
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

bool readDataPacket(std::string_view bytes, ReadingsTable& table, const ReleaseConsumed& consumed) {
  // The bytes are taken as they are (GBK passes through); only a UTF-8 packet is converted.
  bool stopped = false;
  if (readInPieces(bytes, table, consumed, stopped)) return true;
  if (stopped) return false;
  table.clear();
  return readWhole(bytes, table);
}

}  // namespace ostrel
