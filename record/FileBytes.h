#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel {

// The whole content of a regular file, read-only, mapped into memory (no copy; read into a
// buffer of the file's size where mapping fails). Owns the mapping or buffer. Anything but
// a regular file (a FIFO, a device, a folder) is refused without a blocking open: a FIFO
// would wait for a writer and a device such as /dev/zero never ends.
class FileBytes {
 public:
  FileBytes() = default;
  ~FileBytes();
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  // False when the file cannot be opened or read, or is no regular file.
  bool open(const std::string& fileName);
  [[nodiscard]] std::string_view bytes() const { return m_bytes; }

 private:
  void* m_mapping = nullptr;
  std::size_t m_mappedSize = 0;
  std::string m_buffer;
  std::string_view m_bytes;
};

}  // namespace ostrel
