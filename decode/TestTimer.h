#pragma once

#include <cstdint>
#include <optional>

#include "DisplayModel.h"

namespace ostrel {

// The meter's timer as the display shows it after a frame: min:sec in the four timer
// digits (H_Time1 H_Time2 : M_Time1 M_Time2), read as seconds. Lit means all four digits
// show a figure and the colon is lit; anything else (dark digits, a dash, the comparator's
// limit, which stands in the same digits without the colon) gives nullopt.
std::optional<std::int32_t> timerSeconds(const DisplayModel& model);

}  // namespace ostrel
