#include "TextPool.h"

namespace ostrel {

TextPool::Id TextPool::intern(std::string_view text) {
  if (const auto found = m_ids.find(text); found != m_ids.end()) return found->second;
  const auto id = static_cast<Id>(m_texts.size());
  const std::string& stored = m_texts.emplace_back(text);
  m_ids.emplace(std::string_view(stored), id);
  return id;
}

void TextPool::clear() {
  m_ids.clear();
  m_texts.clear();
}

std::size_t TextPool::memoryBytes() const {
  std::size_t bytes = m_texts.size() * sizeof(std::string) + m_ids.bucket_count() * sizeof(void*) +
                      m_ids.size() * (sizeof(std::string_view) + sizeof(Id) + 2 * sizeof(void*));
  for (const std::string& text : m_texts) {
    if (text.capacity() > 15) bytes += text.capacity() + 1;
  }
  return bytes;
}

}  // namespace ostrel
