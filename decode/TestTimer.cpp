#include "TestTimer.h"

#include <array>

namespace ostrel {

std::optional<std::int32_t> timerSeconds(const DisplayModel& model) {
  using E = DisplayElement;
  if (!model.isVisible(E::T_dPoint1)) return std::nullopt;
  constexpr std::array digits = {E::H_Time1, E::H_Time2, E::M_Time1, E::M_Time2};
  std::array<std::int32_t, 4> figures{};
  for (std::size_t i = 0; i < digits.size(); ++i) {
    const char c = model.caption(digits[i]);
    if (!model.isVisible(digits[i]) || c < '0' || c > '9') return std::nullopt;
    figures[i] = c - '0';
  }
  return (figures[0] * 10 + figures[1]) * 60 + figures[2] * 10 + figures[3];
}

}  // namespace ostrel
