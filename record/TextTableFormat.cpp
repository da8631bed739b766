#include "TextTableFormat.h"

#include <array>
#include <charconv>

#include "ReadingsTable.h"
#include "TimeText.h"

namespace ostrel {

namespace {

bool isBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

void appendNumber(std::string& out, std::int32_t number) {
  std::array<char, 16> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), number);
  out.append(digits.data(), result.ptr);
}

// A tab, CR or LF inside a text would split the cell or the line, so it is written as a
// blank (none of them is ever the second byte of a GBK character).
void appendTextCell(std::string& out, std::optional<std::string_view> text) {
  out.push_back('\t');
  const std::string_view cell = text ? trimmedCell(*text) : std::string_view{};
  if (cell.empty()) {
    out += textNullCell;
    return;
  }
  const std::size_t start = out.size();
  out += cell;
  for (std::size_t i = start; i < out.size(); ++i) {
    if (out[i] == '\t' || out[i] == '\r' || out[i] == '\n') out[i] = ' ';
  }
}

void appendNoCell(std::string& out, const ReadingsTable& table, std::size_t row) {
  if (const auto no = table.no(row)) appendNumber(out, *no);
  out.push_back('\t');
}

void appendTextCells(std::string& out, const ReadingsTable& table, std::size_t row) {
  appendTextCell(out, table.text(row, ReadingsTable::Value));
  appendTextCell(out, table.text(row, ReadingsTable::Unit));
  appendTextCell(out, table.text(row, ReadingsTable::V_Range));
  appendTextCell(out, table.text(row, ReadingsTable::I_Range));
}

void appendTestTime(std::string& out, std::optional<std::int32_t> testTime) {
  if (!testTime) return;
  out.push_back('\t');
  appendNumber(out, *testTime);
}

}  // namespace

std::string_view trimmedCell(std::string_view text) {
  while (!text.empty() && isBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlankOrControl(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<std::string_view> recordedCell(std::optional<std::string_view> cell) {
  return cell == textNullCell ? std::nullopt : cell;
}

void appendTextRecordLine(std::string& out, const ReadingsTable& table, std::size_t row,
                          const LongTimeFormat& timeFormat) {
  appendNoCell(out, table, row);
  if (const auto time = table.timeMs(row)) {
    timeFormat.appendTo(out, *time);
  } else {
    out += textNullCell;
  }
  appendTextCells(out, table, row);
  out += textLineEnd;
}

void appendTextRecordLine(std::string& out, const ReadingsTable& table, std::size_t row,
                          std::string_view timeCell, std::optional<std::int32_t> testTime) {
  appendNoCell(out, table, row);
  out += timeCell;
  appendTextCells(out, table, row);
  appendTestTime(out, testTime);
  out += textLineEnd;
}

void appendTestTimeCell(std::string& line, std::optional<std::int32_t> testTime) {
  std::string cell;
  appendTestTime(cell, testTime);
  const std::size_t end =
      line.ends_with(textLineEnd) ? line.size() - textLineEnd.size() : line.size();
  line.insert(end, cell);
}

}  // namespace ostrel
