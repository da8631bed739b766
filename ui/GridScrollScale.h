#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace ostrel {

// The readings grid's vertical scroll bar spans the whole table. A position is the top edge
// of the rows in sight, in pixels from the table's top (64 bits: rows × row height may
// exceed an int). The bar counts pixels while the table's height fits its int range, and
// rows beyond that; its extremes always stand for the table's first and last rows.
struct GridScrollScale {
  std::int64_t lastTop = 0;  // the position that shows the table's last row at the bottom
  int unit = 1;              // pixels per bar step: 1, or the row height

  // `pageHeight` is the height of the rows in sight, in pixels.
  [[nodiscard]] static GridScrollScale of(std::uint64_t rows, int rowHeight, int pageHeight) {
    constexpr auto most = static_cast<std::uint64_t>(std::numeric_limits<int>::max());
    const auto height = static_cast<std::int64_t>(std::min(rows, most)) * rowHeight;
    GridScrollScale scale;
    scale.lastTop = std::max<std::int64_t>(0, height - pageHeight);
    scale.unit = scale.lastTop <= std::numeric_limits<int>::max() ? 1 : std::max(rowHeight, 1);
    return scale;
  }

  [[nodiscard]] int maximum() const {
    return static_cast<int>(
        std::min<std::int64_t>((lastTop + unit - 1) / unit, std::numeric_limits<int>::max()));
  }
  [[nodiscard]] int valueOf(std::int64_t top) const {
    if (top >= lastTop) return maximum();
    return static_cast<int>(std::max<std::int64_t>(top, 0) / unit);
  }
  [[nodiscard]] std::int64_t topOf(int value) const {
    if (value >= maximum()) return lastTop;
    return std::clamp<std::int64_t>(static_cast<std::int64_t>(value) * unit, 0, lastTop);
  }
  // Steps in bar units for a distance in pixels, never below one.
  [[nodiscard]] int stepOf(int pixels) const { return std::max(1, pixels / unit); }
};

}  // namespace ostrel
