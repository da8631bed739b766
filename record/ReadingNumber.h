#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace ostrel {

// A reading's value text and unit text (GBK, as the table holds them) as a number in base
// units: ohms for "Ω", "kΩ", "MΩ", "GΩ", "TΩ", volts for "V" and "kV". Nothing when the value
// is not a plain decimal number ("OL", an empty value, dashes) or the unit is none of these.
// A unitless value (a ratio) is returned as it is. The decimal separator may be '.' or ','.
inline std::optional<double> readingNumber(std::string_view value, std::string_view unit) {
  constexpr std::string_view ohm = "\xA6\xB8";  // "Ω" in GBK
  std::string_view exponent;
  if (unit.empty() || unit == "V" || unit == ohm) {
    exponent = "e0";
  } else if (unit == "kV") {
    exponent = "e3";
  } else if (unit.size() == ohm.size() + 1 && unit.ends_with(ohm)) {
    switch (unit.front()) {
      case 'k':
        exponent = "e3";
        break;
      case 'M':
        exponent = "e6";
        break;
      case 'G':
        exponent = "e9";
        break;
      case 'T':
        exponent = "e12";
        break;
      default:
        return std::nullopt;
    }
  } else {
    return std::nullopt;
  }
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  // Digits with at most one separator, then the unit's power of ten: parsed as one decimal
  // text, so 1.234 MΩ is exactly the double nearest 1234000, not 1.234 times a million.
  std::string text;
  if (!value.empty() && (value.front() == '-' || value.front() == '+')) {
    if (value.front() == '-') text += '-';
    value.remove_prefix(1);
  }
  bool digits = false;
  bool separator = false;
  for (const char c : value) {
    if (c >= '0' && c <= '9') {
      digits = true;
      text += c;
    } else if ((c == '.' || c == ',') && !separator) {
      separator = true;
      text += '.';
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  text += exponent;
  double number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

}  // namespace ostrel
