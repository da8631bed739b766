#pragma once

#include <optional>
#include <string_view>

#include "record/chart/ChartTrace.h"

namespace ostrel {

class ReadingsTable;

// A reading's value text as a chart value: valueNumber (record/ReadingNumber.h) with the
// locale's decimal separator (`decimalSeparator`, possibly empty or several bytes), for
// example "1,234" or "-0.56". Anything else (an overload such as "0L", a lone "-", "----", an
// empty text, a second separator) is not a number: nullopt.
std::optional<double> chartValue(std::string_view valueGbk, std::string_view decimalSeparator);

// Whether a value text is the meter's over-range sign (valueOverRange): the letter L among
// digits (the meter shows "OL", which the value text holds as "0L"; a letter O is taken too),
// with an optional separator and sign.
bool chartOverRange(std::string_view valueGbk, std::string_view decimalSeparator);

// A reading as the quantity it measures, in base units (readingValue): its value text (as
// chartValue reads it) scaled by its unit text (GBK): "\xA6\xB8" (ohm) 1, "k\xA6\xB8" 1e3,
// "M\xA6\xB8" 1e6, "G\xA6\xB8" 1e9, "T\xA6\xB8" 1e12 for resistance; "V" 1 and "kV" 1e3 for
// voltage. An over-range value (chartOverRange) with one of these units is the quantity
// with overRange set. nullopt (a gap in the chart) when the value is neither a number nor
// over range, or the unit is missing or none of these (a PI ratio has no unit).
std::optional<ChartQuantityValue> chartQuantity(std::optional<std::string_view> valueGbk,
                                                std::optional<std::string_view> unitGbk,
                                                std::string_view decimalSeparator);

// Every record of the table as the chart's trace rows, in table order (gaps included).
void chartTraceOf(const ReadingsTable& table, std::string_view decimalSeparator, ChartTrace& trace);

}  // namespace ostrel
