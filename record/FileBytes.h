#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel {

// The whole content of a file, read-only: a regular file is mapped into memory (no copy),
// anything else (a pipe, a device) is read into a buffer. Owns the mapping or buffer.
class FileBytes {
 public:
  FileBytes() = default;
  ~FileBytes();
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  // False when the file cannot be opened or read.
  bool open(const std::string& fileName);
  [[nodiscard]] std::string_view bytes() const { return m_bytes; }

 private:
  void* m_mapping = nullptr;
  std::size_t m_mappedSize = 0;
  std::string m_buffer;
  std::string_view m_bytes;
};

}  // namespace ostrel
