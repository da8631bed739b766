#include <array>
#include <charconv>

#include "DataPacket.h"
#include "GbkText.h"

namespace ostrel {

namespace {

constexpr std::string_view packetHead =
    "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
    "<FIELD attrname=\"No\" fieldtype=\"i4\"/>"
    "<FIELD attrname=\"Time\" fieldtype=\"time\"/>"
    "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"Unit\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"V_Range\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"I_Range\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "</FIELDS>";

void appendNumber(std::string& out, long long value) {
  std::array<char, 24> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  out.append(buffer.data(), result.ptr);
}

void appendDigits(std::string& out, int value, int width) {
  std::array<char, 8> digits{};
  for (int i = width - 1; i >= 0; --i) {
    digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  out.append(digits.data(), static_cast<std::size_t>(width));
}

// Escapes by characters of the code page: both bytes of a two-byte GBK character are
// copied as they are, even when the second one looks like '\'. A lead byte followed by
// anything but a second byte stands alone, so a quote or '<' after it is still escaped and
// the packet stays well formed.
void appendEscaped(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (isGbkLeadByte(static_cast<unsigned char>(c)) && i + 1 < text.size() &&
        isGbkTrailByte(static_cast<unsigned char>(text[i + 1]))) {
      out.push_back(c);
      out.push_back(text[++i]);
      continue;
    }
    // clang-format off
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\r':
        out += "&#013;";
        break;
      case '\n':
        out += "&#010;";
        break;
      case '\t':
        out += "&#009;";
        break;
      case '\\':
        out += "&#092;";
        break;
      default:
        out.push_back(c);
    }
    // clang-format on
  }
}

void appendPacketTime(std::string& out, std::int32_t ms) {
  appendDigits(out, ms / 3'600'000, 2);
  out.push_back(':');
  appendDigits(out, ms / 60'000 % 60, 2);
  out.push_back(':');
  appendDigits(out, ms % 60'000, 5);
}

// The change log names every changed row, so for a loaded table it is as long as the
// table: it is handed over in chunks like the rows.
bool appendParams(ChunkedOutput& output, const ReadingsTable& table) {
  std::string& out = output.buffer();
  out += "<PARAMS";
  bool first = true;
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    if (table.changeState(row) == 0) continue;
    out += first ? " CHANGE_LOG=\"" : " ";
    first = false;
    appendNumber(out, static_cast<long long>(row) + 1);
    out += " 0 4";
    if (!output.spillIfFull()) return false;
  }
  if (!first) out += "\"";
  out += "/>";
  return true;
}

void appendRow(std::string& out, const ReadingsTable& table, std::size_t row) {
  out += "<ROW";
  if (const std::uint8_t state = table.changeState(row); state != 0) {
    out += " RowState=\"";
    appendNumber(out, state);
    out += "\"";
  }
  if (const auto no = table.no(row)) {
    out += " No=\"";
    appendNumber(out, *no);
    out += "\"";
  }
  if (const auto time = table.timeMs(row)) {
    out += " Time=\"";
    appendPacketTime(out, *time);
    out += "\"";
  }
  static constexpr std::array<std::pair<ReadingsTable::Field, std::string_view>, 4> texts{{
      {ReadingsTable::Value, " Value=\""},
      {ReadingsTable::Unit, " Unit=\""},
      {ReadingsTable::V_Range, " V_Range=\""},
      {ReadingsTable::I_Range, " I_Range=\""},
  }};
  for (const auto& [field, opening] : texts) {
    if (const auto text = table.text(row, field)) {
      out += opening;
      appendEscaped(out, *text);
      out += "\"";
    }
  }
  out += "/>";
}

}  // namespace

std::string formatPacketTime(std::int32_t ms) {
  std::string out;
  appendPacketTime(out, ms);
  return out;
}

bool writeDataPacket(const ReadingsTable& table, const ByteSink& sink) {
  ChunkedOutput output(sink);
  output.buffer() += packetHead;
  if (!appendParams(output, table)) return false;
  output.buffer() += "</METADATA><ROWDATA>";
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    appendRow(output.buffer(), table, row);
    if (!output.spillIfFull()) return false;
  }
  output.buffer() += "</ROWDATA></DATAPACKET>";
  return output.finish();
}

std::string writeDataPacket(const ReadingsTable& table) {
  std::string out;
  out.reserve(packetHead.size() + 64 + table.recordCount() * 128);
  writeDataPacket(table, [&out](std::string_view piece) {
    out += piece;
    return true;
  });
  return out;
}

}  // namespace ostrel
