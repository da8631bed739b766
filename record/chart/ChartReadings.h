#pragma once

#include <optional>
#include <string_view>

#include "record/chart/ChartTrace.h"

namespace ostrel {

class ReadingsTable;

// A reading's value text as a chart value. The text holds the displayed digits with the
// locale's decimal separator (`decimalSeparator`, possibly empty or several bytes) and an
// optional leading "-", for example "1,234" or "-0.56". Anything else (an overload such as
// "0L", a lone "-", "----", an empty text, a second separator) is not a number: nullopt.
std::optional<double> chartValue(std::string_view valueGbk, std::string_view decimalSeparator);

// A reading as the quantity it measures, in base units: its value text (as chartValue
// reads it) times the factor of its unit text (GBK): "\xA6\xB8" (ohm) 1, "k\xA6\xB8" 1e3,
// "M\xA6\xB8" 1e6, "G\xA6\xB8" 1e9, "T\xA6\xB8" 1e12 for resistance; "V" 1 and "kV" 1e3 for
// voltage. nullopt (a gap in the chart) when the value is not a number or the unit is
// missing or none of these.
std::optional<ChartQuantityValue> chartQuantity(std::optional<std::string_view> valueGbk,
                                                std::optional<std::string_view> unitGbk,
                                                std::string_view decimalSeparator);

// Every record of the table as the chart's trace rows, in table order (gaps included).
void chartTraceOf(const ReadingsTable& table, std::string_view decimalSeparator, ChartTrace& trace);

}  // namespace ostrel
