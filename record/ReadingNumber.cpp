#include "ReadingNumber.h"

#include <charconv>
#include <string>
#include <system_error>

#include "TextTableFormat.h"

namespace ostrel {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the separator `text` starts with, 0 when it starts with none.
std::size_t separatorAt(std::string_view text, ValueSeparator separator) {
  if (!separator) return !text.empty() && (text.front() == '.' || text.front() == ',') ? 1 : 0;
  return !separator->empty() && text.starts_with(*separator) ? separator->size() : 0;
}

// The value text as a number times 10^exponent, parsed as one decimal text.
std::optional<ValueNumber> scaledNumber(std::string_view value, ValueSeparator separator,
                                        int exponent) {
  value = trimmedCell(value);
  std::string plain;  // the same number in the C locale's form, for from_chars
  if (!value.empty() && (value.front() == '-' || value.front() == '+')) {
    if (value.front() == '-') plain.push_back('-');
    value.remove_prefix(1);
  }
  int digits = 0;
  int decimals = 0;
  bool point = false;
  while (!value.empty()) {
    if (isDigit(value.front())) {
      plain.push_back(value.front());
      ++digits;
      if (point) ++decimals;
      value.remove_prefix(1);
    } else if (const std::size_t length = separatorAt(value, separator); length > 0 && !point) {
      point = true;
      plain.push_back('.');
      value.remove_prefix(length);
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0 || digits > valueMaxDigits) return std::nullopt;
  plain += 'e';
  plain += std::to_string(exponent);
  ValueNumber number;
  number.decimals = decimals;
  const auto [end, status] =
      std::from_chars(plain.data(), plain.data() + plain.size(), number.value);
  if (status != std::errc{} || end != plain.data() + plain.size()) return std::nullopt;
  return number;
}

struct NamedUnit {
  std::string_view unit;
  ReadingUnit scale;
};

constexpr NamedUnit namedUnits[] = {
    {"", {ReadingQuantity::Ratio, 0}},
    {"V", {ReadingQuantity::Voltage, 0}},
    {"kV", {ReadingQuantity::Voltage, 3}},
};

// The resistance units: a prefix, then the ohm sign in GBK or (either of two) in UTF-8.
constexpr std::string_view ohmSigns[] = {"\xA6\xB8", "\xCE\xA9", "\xE2\x84\xA6"};

}  // namespace

std::optional<ValueNumber> valueNumber(std::string_view value, ValueSeparator separator) {
  return scaledNumber(value, separator, 0);
}

bool valueOverRange(std::string_view value, ValueSeparator separator) {
  value = trimmedCell(value);
  if (!value.empty() && (value.front() == '-' || value.front() == '+')) value.remove_prefix(1);
  bool letter = false;
  while (!value.empty()) {
    if (value.front() == 'L') {
      letter = true;
      value.remove_prefix(1);
    } else if (isDigit(value.front()) || value.front() == 'O') {
      value.remove_prefix(1);
    } else if (const std::size_t length = separatorAt(value, separator); length > 0) {
      value.remove_prefix(length);
    } else {
      return false;
    }
  }
  return letter;
}

std::optional<ReadingUnit> readingUnit(std::string_view unit) {
  unit = trimmedCell(unit);
  for (const NamedUnit& named : namedUnits) {
    if (named.unit == unit) return named.scale;
  }
  int exponent = 0;
  switch (unit.empty() ? '\0' : unit.front()) {
    case 'k':
    case 'K':
      exponent = 3;
      break;
    case 'M':
      exponent = 6;
      break;
    case 'G':
      exponent = 9;
      break;
    case 'T':
      exponent = 12;
      break;
    default:
      break;
  }
  if (exponent != 0) unit.remove_prefix(1);
  for (const std::string_view ohm : ohmSigns) {
    if (unit == ohm) return ReadingUnit{ReadingQuantity::Resistance, exponent};
  }
  return std::nullopt;
}

std::optional<ReadingValue> readingValue(std::string_view value, std::string_view unit,
                                         ValueSeparator separator) {
  const auto scale = readingUnit(unit);
  if (!scale) return std::nullopt;
  if (const auto number = scaledNumber(value, separator, scale->exponent)) {
    return ReadingValue{scale->quantity, number->value, false};
  }
  if (valueOverRange(value, separator)) return ReadingValue{scale->quantity, 0, true};
  return std::nullopt;
}

std::optional<double> readingNumber(std::string_view value, std::string_view unit) {
  const auto reading = readingValue(value, unit, std::nullopt);
  if (!reading || reading->overRange) return std::nullopt;
  return reading->base;
}

}  // namespace ostrel
