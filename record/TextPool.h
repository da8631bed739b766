#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ostrel {

// Interns texts that repeat from record to record (Unit, V_Range, I_Range): each distinct
// text is held once and records keep its 32-bit id. Ids and the views returned by text()
// stay valid until clear(). Main thread only.
class TextPool {
 public:
  using Id = std::uint32_t;

  Id intern(std::string_view text);
  [[nodiscard]] std::string_view text(Id id) const { return m_texts[id]; }
  void clear();
  [[nodiscard]] std::size_t memoryBytes() const;

 private:
  std::deque<std::string> m_texts;  // a deque never moves its elements, so views stay valid
  std::unordered_map<std::string_view, Id> m_ids;
};

}  // namespace ostrel
