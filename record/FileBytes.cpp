#include "FileBytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace ostrel {

namespace {

// Reads up to `size` bytes (the size the file had when opened; bytes appended meanwhile
// are not part of this load).
bool readAll(int fd, std::size_t size, std::string& buffer) {
  buffer.resize(size);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, buffer.data() + got, size - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    got += static_cast<std::size_t>(n);
  }
  buffer.resize(got);
  return true;
}

bool isRegularFile(const std::string& fileName) {
  struct stat info {};
  return ::stat(fileName.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

FileBytes::~FileBytes() {
  if (m_mapping != nullptr) ::munmap(m_mapping, m_mappedSize);
}

bool FileBytes::open(const std::string& fileName) {
  // Checked by name first so that no FIFO or device is ever opened, then again on the open
  // file (non-blocking, in case the name was swapped meanwhile).
  if (!isRegularFile(fileName)) return false;
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (ok && info.st_size > 0) {
    m_mappedSize = static_cast<std::size_t>(info.st_size);
    // Not populated up front: a reader that releases what it consumed then keeps only the
    // pages it is reading resident.
    m_mapping = ::mmap(nullptr, m_mappedSize, PROT_READ, MAP_PRIVATE, fd, 0);
    if (m_mapping == MAP_FAILED) {
      m_mapping = nullptr;
      ok = readAll(fd, m_mappedSize, m_buffer);
      m_mappedSize = 0;
      m_bytes = m_buffer;
    } else {
      m_bytes = std::string_view(static_cast<const char*>(m_mapping), m_mappedSize);
    }
  }
  ::close(fd);
  return ok;
}

void FileBytes::release(std::size_t offset) {
  if (m_mapping == nullptr) return;
  const auto pageSize = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const std::size_t end = std::min(offset, m_mappedSize) / pageSize * pageSize;
  if (end <= m_released) return;
  // The mapping is private and never written, so dropping its pages loses nothing.
  ::madvise(static_cast<char*>(m_mapping) + m_released, end - m_released, MADV_DONTNEED);
  m_released = end;
}

}  // namespace ostrel
