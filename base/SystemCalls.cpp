#include "SystemCalls.h"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace ostrel {

namespace {

// The one write loop: write or pwrite, by whether there is an offset.
int writeLoop(int fd, std::string_view bytes, std::optional<std::uint64_t> offset) {
  while (!bytes.empty()) {
    const ssize_t written =
        offset ? ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(*offset))
               : ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(written));
    if (offset) *offset += static_cast<std::uint64_t>(written);
  }
  return 0;
}

// The one read loop: read or pread, by whether there is an offset.
int readLoop(int fd, char* buffer, std::size_t size, std::optional<std::uint64_t> offset,
             std::size_t& got) {
  got = 0;
  while (got < size) {
    const ssize_t count =
        offset ? ::pread(fd, buffer + got, size - got, static_cast<off_t>(*offset + got))
               : ::read(fd, buffer + got, size - got);
    if (count < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (count == 0) break;
    got += static_cast<std::size_t>(count);
  }
  return 0;
}

}  // namespace

std::string reason(int error) { return std::strerror(error); }

int writeAll(int fd, std::string_view bytes) { return writeLoop(fd, bytes, std::nullopt); }

int writeAllAt(int fd, std::string_view bytes, std::uint64_t offset) {
  return writeLoop(fd, bytes, offset);
}

int readAll(int fd, char* buffer, std::size_t size, std::size_t& got) {
  return readLoop(fd, buffer, size, std::nullopt, got);
}

int readAllAt(int fd, char* buffer, std::size_t size, std::uint64_t offset, std::size_t& got) {
  return readLoop(fd, buffer, size, offset, got);
}

}  // namespace ostrel
