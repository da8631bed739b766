#include <array>
#include <charconv>
#include <strings.h>

#include <pugixml.hpp>

#include "DataPacket.h"
#include "GbkText.h"

namespace ostrel {

namespace {

// A row whose state has one of these bits (original, deleted, unused) is not a record.
constexpr unsigned skippedRowStates = 1U | 2U | 32U;

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), b.size()) == 0;
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
  bool read(pugi::xml_node row, ReadingsTable& table) const {
    RecordFields fields;
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
    table.append(fields, static_cast<std::uint8_t>(state));
    return true;
  }

 private:
  bool setField(std::string_view name, std::string_view value, RecordFields& fields) const {
    if (sameName(name, m_names[ReadingsTable::No])) {
      fields.No = parseInt32(value);
      return fields.No.has_value();
    }
    if (sameName(name, m_names[ReadingsTable::Time])) {
      fields.TimeMs = parsePacketTime(value);
      return fields.TimeMs.has_value();
    }
    std::array<std::optional<std::string>*, 4> texts{&fields.Value, &fields.Unit,
                                                     &fields.V_Range, &fields.I_Range};
    for (std::size_t k = 0; k < texts.size(); ++k) {
      if (sameName(name, m_names[ReadingsTable::Value + k])) {
        *texts[k] = m_utf8 ? utf8ToGbk(value) : std::string(value);
        return true;
      }
    }
    return true;  // an attribute of no field of ours
  }

  const std::array<std::string, 6>& m_names;
  bool m_utf8;
};

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

bool readDataPacket(std::string_view bytes, ReadingsTable& table) {
  pugi::xml_document document;
  constexpr unsigned options = pugi::parse_escapes | pugi::parse_eol |
                               pugi::parse_wconv_attribute | pugi::parse_declaration;
  // The bytes are taken as they are (GBK passes through); only a UTF-8 packet is converted.
  if (!document.load_buffer(bytes.data(), bytes.size(), options, pugi::encoding_utf8)) {
    return false;
  }
  const pugi::xml_node packet = document.document_element();
  if (!sameName(packet.name(), "DATAPACKET")) return false;
  const pugi::xml_node fields = child(child(packet, "METADATA"), "FIELDS");
  std::array<std::string, 6> names;
  if (!fields || !matchFields(fields, names)) return false;
  const pugi::xml_node rowData = child(packet, "ROWDATA");
  if (!rowData) return true;  // metadata only: a packet without records
  const RowReader reader(names, declaredUtf8(document, bytes));
  for (pugi::xml_node row : rowData.children()) {
    if (row.type() != pugi::node_element || !sameName(row.name(), "ROW")) continue;
    if (!reader.read(row, table)) return false;
  }
  return true;
}

}  // namespace ostrel
