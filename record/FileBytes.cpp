#include "FileBytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace ostrel {

namespace {

bool readAll(int fd, std::string& buffer) {
  char chunk[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    buffer.append(chunk, static_cast<std::size_t>(got));
  }
}

}  // namespace

FileBytes::~FileBytes() {
  if (m_mapping != nullptr) ::munmap(m_mapping, m_mappedSize);
}

bool FileBytes::open(const std::string& fileName) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0;
  if (ok && S_ISREG(info.st_mode) && info.st_size > 0) {
    m_mappedSize = static_cast<std::size_t>(info.st_size);
    m_mapping = ::mmap(nullptr, m_mappedSize, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (m_mapping == MAP_FAILED) {
      m_mapping = nullptr;
      ok = readAll(fd, m_buffer);
      m_bytes = m_buffer;
    } else {
      m_bytes = std::string_view(static_cast<const char*>(m_mapping), m_mappedSize);
    }
  } else if (ok) {
    ok = readAll(fd, m_buffer);
    m_bytes = m_buffer;
  }
  ::close(fd);
  return ok;
}

}  // namespace ostrel
