#include "record/chart/ChartReadings.h"

#include <charconv>
#include <string>

namespace ostrel {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the run of digits at the start of text.
std::size_t digitRun(std::string_view text) {
  std::size_t n = 0;
  while (n < text.size() && isDigit(text[n])) {
    ++n;
  }
  return n;
}

}  // namespace

std::optional<double> chartValue(std::string_view valueGbk, std::string_view decimalSeparator) {
  std::string plain;
  std::string_view rest = valueGbk;
  if (!rest.empty() && rest.front() == '-') {
    plain += '-';
    rest.remove_prefix(1);
  }
  const std::size_t whole = digitRun(rest);
  plain.append(rest.substr(0, whole));
  rest.remove_prefix(whole);
  std::size_t fraction = 0;
  if (!decimalSeparator.empty() && rest.starts_with(decimalSeparator)) {
    rest.remove_prefix(decimalSeparator.size());
    fraction = digitRun(rest);
    plain += '.';
    plain.append(rest.substr(0, fraction));
    rest.remove_prefix(fraction);
  }
  if (!rest.empty() || whole + fraction == 0) {
    return std::nullopt;
  }
  double value = 0.0;
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (error != std::errc{} || end != plain.data() + plain.size()) {
    return std::nullopt;
  }
  return value;
}

bool chartOverRange(std::string_view valueGbk, std::string_view decimalSeparator) {
  std::string_view rest = valueGbk;
  if (!rest.empty() && rest.front() == '-') rest.remove_prefix(1);
  bool letter = false;
  while (!rest.empty()) {
    if (rest.front() == 'L') {
      letter = true;
      rest.remove_prefix(1);
    } else if (isDigit(rest.front()) || rest.front() == 'O') {
      rest.remove_prefix(1);
    } else if (!decimalSeparator.empty() && rest.starts_with(decimalSeparator)) {
      rest.remove_prefix(decimalSeparator.size());
    } else {
      return false;
    }
  }
  return letter;
}

namespace {

struct UnitFactor {
  std::string_view unit;
  ChartQuantity quantity;
  double factor;
};

constexpr UnitFactor unitFactors[] = {
    {"\xA6\xB8", ChartQuantity::Resistance, 1.0},
    {"k\xA6\xB8", ChartQuantity::Resistance, 1e3},
    {"K\xA6\xB8", ChartQuantity::Resistance, 1e3},
    {"M\xA6\xB8", ChartQuantity::Resistance, 1e6},
    {"G\xA6\xB8", ChartQuantity::Resistance, 1e9},
    {"T\xA6\xB8", ChartQuantity::Resistance, 1e12},
    {"V", ChartQuantity::Voltage, 1.0},
    {"kV", ChartQuantity::Voltage, 1e3},
};

}  // namespace

std::optional<ChartQuantityValue> chartQuantity(std::optional<std::string_view> valueGbk,
                                                std::optional<std::string_view> unitGbk,
                                                std::string_view decimalSeparator) {
  if (!valueGbk || !unitGbk) {
    return std::nullopt;
  }
  const std::optional<double> value = chartValue(*valueGbk, decimalSeparator);
  const bool over = !value && chartOverRange(*valueGbk, decimalSeparator);
  if (!value && !over) {
    return std::nullopt;
  }
  for (const UnitFactor& u : unitFactors) {
    if (u.unit == *unitGbk) {
      if (over) return ChartQuantityValue{u.quantity, 0.0, true};
      return ChartQuantityValue{u.quantity, *value * u.factor};
    }
  }
  return std::nullopt;
}

}  // namespace ostrel
