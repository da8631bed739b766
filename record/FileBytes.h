#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace ostrel {

// Told by a reader going through a file front to back that it will not read the bytes before
// this offset again (see FileBytes::release).
using ReleaseConsumed = std::function<void(std::size_t offset)>;

// The whole content of a regular file, read-only, mapped into memory (no copy; read into a
// buffer of the file's size where mapping fails). Pages are read as they are first touched. Owns
// the mapping or buffer. Anything but a regular file (a FIFO, a device, a folder) is refused
// without a blocking open: a FIFO would wait for a writer and a device such as /dev/zero never
// ends.
class FileBytes {
 public:
  FileBytes() = default;
  ~FileBytes();
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  // False when the file cannot be opened or read, or is no regular file.
  bool open(const std::string& fileName);
  [[nodiscard]] std::string_view bytes() const { return m_bytes; }

  // Lets the mapped pages before `offset` leave memory: a reader calls it with what it has
  // consumed, so that a file of any size is read with a few megabytes of it resident. The
  // bytes stay readable (a page touched again is read back from the file); a read buffer is
  // kept whole.
  void release(std::size_t offset);
  // release() as a reader's callback; valid while this object lives.
  [[nodiscard]] ReleaseConsumed releaser() {
    return [this](std::size_t offset) { release(offset); };
  }

 private:
  void* m_mapping = nullptr;
  std::size_t m_mappedSize = 0;
  std::size_t m_released = 0;  // the mapped bytes already let go, a whole number of pages
  std::string m_buffer;
  std::string_view m_bytes;
};

}  // namespace ostrel
