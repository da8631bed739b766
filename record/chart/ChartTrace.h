#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace ostrel {

// What a reading measures, by its unit.
enum class ChartQuantity : std::uint8_t { None, Resistance, Voltage };

// A reading as a quantity in base units (ohms or volts). An over-range reading (the meter
// showed "OL") has its quantity but no value: overRange is set and base means nothing.
struct ChartQuantityValue {
  ChartQuantity quantity = ChartQuantity::None;
  double base = 0.0;
  bool overRange = false;
};

// Summary of a run of rows: the lowest and highest value of each quantity (empty when low >
// high) and the quantity of the run's last row that holds a number. Resistance readings of
// 0 or below (a short circuit: "0.00") have no place on a logarithmic axis; they only set
// resistanceAtZero and stay out of the resistance range; over-range readings only set the
// quantity's over flag.
struct ChartRunSummary {
  float resistanceLow = emptyLow;
  float resistanceHigh = emptyHigh;
  bool resistanceAtZero = false;
  bool resistanceOver = false;
  float voltageLow = emptyLow;
  float voltageHigh = emptyHigh;
  bool voltageOver = false;
  ChartQuantity newest = ChartQuantity::None;

  static constexpr float emptyLow = 3.0e38F;
  static constexpr float emptyHigh = -3.0e38F;

  // Whether the run holds a reading of the quantity (at zero and over range included).
  [[nodiscard]] bool holds(ChartQuantity quantity) const;
  // Whether the run holds an over-range reading of the quantity.
  [[nodiscard]] bool over(ChartQuantity quantity) const;
  [[nodiscard]] float low(ChartQuantity quantity) const;
  [[nodiscard]] float high(ChartQuantity quantity) const;
  // Adds a run that follows this one (its newest quantity wins when it has one).
  void append(const ChartRunSummary& later);
};

// An append-only array in fixed-size chunks: appending never moves the elements already
// held, so its cost does not grow with the size.
template <typename T>
class ChunkedArray {
 public:
  static constexpr std::size_t chunkBits = 12;
  static constexpr std::size_t chunkSize = std::size_t{1} << chunkBits;

  void push_back(const T& value) {
    if ((m_size & (chunkSize - 1)) == 0 && m_size / chunkSize == m_chunks.size()) {
      m_chunks.push_back(std::make_unique<T[]>(chunkSize));
    }
    m_chunks[m_size >> chunkBits][m_size & (chunkSize - 1)] = value;
    ++m_size;
  }
  [[nodiscard]] const T& operator[](std::size_t i) const {
    return m_chunks[i >> chunkBits][i & (chunkSize - 1)];
  }
  [[nodiscard]] T& operator[](std::size_t i) {
    return m_chunks[i >> chunkBits][i & (chunkSize - 1)];
  }
  [[nodiscard]] std::size_t size() const { return m_size; }
  [[nodiscard]] T& back() { return (*this)[m_size - 1]; }
  void clear() {
    m_chunks.clear();
    m_size = 0;
  }

 private:
  std::vector<std::unique_ptr<T[]>> m_chunks;
  std::size_t m_size = 0;
};

// The chart's readings by row: each row a quantity or a gap (not a number), kept with
// summaries of runs of 16, 256, 4096, ... rows so that the lowest and highest value of any
// run of rows is found in time that grows with the logarithm of its length. Appending costs
// the same at any size. Values are held as floats (enough for a picture). About 6 bytes a
// row. One thread at a time (a trace may be made on one thread and handed to another).
class ChartTrace {
 public:
  void append(std::optional<ChartQuantityValue> reading);
  void clear();
  [[nodiscard]] std::size_t size() const { return m_quantities.size(); }
  // The reading of row `row` (below size()); nullopt for a gap.
  [[nodiscard]] std::optional<ChartQuantityValue> at(std::size_t row) const;
  // Summary of the rows [first, last), limited to the rows held.
  [[nodiscard]] ChartRunSummary summary(std::size_t first, std::size_t last) const;

 private:
  static constexpr std::size_t levelBits = 4;  // 16 runs of a level make one of the next

  [[nodiscard]] ChartRunSummary rowSummary(std::size_t row) const;
  [[nodiscard]] ChartRunSummary levelSummary(std::size_t level, std::size_t index) const;

  ChunkedArray<float> m_values;
  ChunkedArray<ChartQuantity> m_quantities;
  // m_levels[k][i] sums up rows [i << (4 * (k + 1)), (i + 1) << (4 * (k + 1))).
  std::vector<ChunkedArray<ChartRunSummary>> m_levels;
};

}  // namespace ostrel
