#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "LoadFailure.h"

namespace ostrel {

// Told by a reader going through a file front to back that it will not read the bytes before
// this offset again (see FileBytes::release); false asks the reader to stop there (a cancelled
// load), and the read then fails.
using ReleaseConsumed = std::function<bool(std::size_t offset)>;

// The whole content of a regular file, read-only, mapped into memory (no copy; read into a
// buffer of the file's size where mapping fails). Pages are read as they are first touched. Owns
// the mapping or buffer. Anything but a regular file (a FIFO, a device, a folder) is refused
// without a blocking open: a FIFO would wait for a writer and a device such as /dev/zero never
// ends.
//
// A file cut short while it is mapped would end the process with SIGBUS at the first page past
// its new end. The mapping is guarded instead: such a page reads as zeros, and intact() turns
// false, so the reader's result is thrown away and the load fails (a short read of the buffer
// does the same).
class FileBytes {
 public:
  FileBytes() = default;
  ~FileBytes();
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  // Fails when the file is no regular file (Folder, Fifo, Device, Socket), is missing
  // (NoSuchFile), cannot be opened or read (Unreadable, the system's reason), or, read into
  // the buffer, turns out shorter than it was when opened (CutShort).
  LoadResult open(const std::string& fileName);
  [[nodiscard]] std::string_view bytes() const { return m_bytes; }
  // False once the file was found shorter than when it was opened: bytes() then no longer
  // holds what the file held, and whatever was read from it must not be used.
  [[nodiscard]] bool intact() const;

  // Lets the mapped pages before `offset` leave memory: a reader calls it with what it has
  // consumed, so that a file of any size is read with a few megabytes of it resident. The
  // bytes stay readable (a page touched again is read back from the file); a read buffer is
  // kept whole.
  void release(std::size_t offset);
  // release() as a reader's callback; valid while this object lives.
  [[nodiscard]] ReleaseConsumed releaser() {
    return [this](std::size_t offset) {
      release(offset);
      return true;
    };
  }

 private:
  void* m_mapping = nullptr;
  std::size_t m_mappedSize = 0;
  std::size_t m_released = 0;
  int m_guard = -1;  // slot of the guarded mapping, see FileBytes.cpp  // the mapped bytes already
                     // let go, a whole number of pages
  std::string m_buffer;
  std::string_view m_bytes;
};

}  // namespace ostrel
