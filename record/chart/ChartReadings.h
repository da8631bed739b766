#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "record/chart/TrendChartModel.h"

namespace ostrel {

class ReadingsTable;

// A reading's value text as a chart value. The text holds the displayed digits with the
// locale's decimal separator (`decimalSeparator`, possibly empty or several bytes) and an
// optional leading "-", for example "1,234" or "-0.56". Anything else (an overload such as
// "0L", a lone "-", "----", an empty text, a second separator) is not a number: nullopt.
std::optional<double> chartValue(std::string_view valueGbk, std::string_view decimalSeparator);

// The point a record plots at (X its No, Y its value), or nullopt when either is missing
// or the value is not a number.
std::optional<ChartPoint> chartPoint(std::optional<std::int32_t> no,
                                     std::optional<std::string_view> valueGbk,
                                     std::string_view decimalSeparator);

// Every record of the table that plots, in table order.
std::vector<ChartPoint> chartPoints(const ReadingsTable& table, std::string_view decimalSeparator);

}  // namespace ostrel
