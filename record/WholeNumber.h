#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ostrel {

// A whole number as std::from_chars reads it (an optional '-', then digits, nothing else),
// with the usual case of at most nine digits done in the loop below.
inline std::optional<std::int32_t> parseInt32(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  const std::size_t first = negative ? 1 : 0;
  if (text.size() > first && text.size() - first <= 9) {
    std::int32_t value = 0;
    for (std::size_t at = first; at < text.size(); ++at) {
      const auto digit = static_cast<unsigned>(static_cast<unsigned char>(text[at]) - '0');
      if (digit > 9) return std::nullopt;
      value = value * 10 + static_cast<std::int32_t>(digit);
    }
    return negative ? -value : value;
  }
  std::int32_t value = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || status != std::errc{} || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace ostrel
