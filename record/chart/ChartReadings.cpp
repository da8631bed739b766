#include "record/chart/ChartReadings.h"

#include "record/ReadingNumber.h"

namespace ostrel {

std::optional<double> chartValue(std::string_view valueGbk, std::string_view decimalSeparator) {
  const auto number = valueNumber(valueGbk, decimalSeparator);
  if (!number) return std::nullopt;
  return number->value;
}

bool chartOverRange(std::string_view valueGbk, std::string_view decimalSeparator) {
  return valueOverRange(valueGbk, decimalSeparator);
}

std::optional<ChartQuantityValue> chartQuantity(std::optional<std::string_view> valueGbk,
                                                std::optional<std::string_view> unitGbk,
                                                std::string_view decimalSeparator) {
  if (!valueGbk || !unitGbk) return std::nullopt;
  const auto reading = readingValue(*valueGbk, *unitGbk, decimalSeparator);
  if (!reading) return std::nullopt;
  switch (reading->quantity) {
    case ReadingQuantity::Resistance:
      return ChartQuantityValue{ChartQuantity::Resistance, reading->base, reading->overRange};
    case ReadingQuantity::Voltage:
      return ChartQuantityValue{ChartQuantity::Voltage, reading->base, reading->overRange};
    case ReadingQuantity::Ratio:
      break;  // a PI ratio has no place on the chart's axes
  }
  return std::nullopt;
}

}  // namespace ostrel
