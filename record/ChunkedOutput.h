#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace ostrel {

// Takes a file's bytes piece by piece, in order. False when they cannot be taken: the
// writer stops (the sink keeps its own reason).
using ByteSink = std::function<bool(std::string_view)>;

// The buffer a writer formats into, handed to a sink whenever it holds about a megabyte,
// so that a file of any size is written with a buffer of constant size.
class ChunkedOutput {
 public:
  explicit ChunkedOutput(const ByteSink& sink) : m_sink(sink) {
    m_buffer.reserve(chunkBytes + chunkBytes / 4);
  }

  [[nodiscard]] std::string& buffer() { return m_buffer; }

  // Hands the buffer over once it holds a chunk; false once the sink refused one.
  bool spillIfFull() { return m_buffer.size() < chunkBytes || spill(); }

  // Hands over what is left; false when the sink refused this or an earlier piece.
  bool finish() { return spill(); }

  static constexpr std::size_t chunkBytes = std::size_t{1} << 20;

 private:
  bool spill() {
    if (!m_failed && !m_buffer.empty() && !m_sink(m_buffer)) m_failed = true;
    m_buffer.clear();
    return !m_failed;
  }

  const ByteSink& m_sink;
  std::string m_buffer;
  bool m_failed = false;
};

}  // namespace ostrel
