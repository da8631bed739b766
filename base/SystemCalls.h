#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel {

// The system's text for an errno value (strerror), e.g. "No space left on device".
std::string reason(int error);

// Writes all of `bytes` to fd (at its file position), going on after a short write and
// after EINTR. 0 when every byte was written, otherwise the errno of the failing write.
//
// The zero-byte rule: an empty `bytes` writes nothing and succeeds (no system call); a write
// that takes no byte of a non-empty rest is a failure, EIO (the system gave no reason, and
// trying again could loop for ever).
int writeAll(int fd, std::string_view bytes);
// The same at `offset` (pwrite); the file position is not used and not moved.
int writeAllAt(int fd, std::string_view bytes, std::uint64_t offset);

// Reads into [buffer, buffer + size) until it is full or the file ends, going on after a
// short read and after EINTR. `got` is what was read (less than size only at the end of the
// file). 0, or the errno of the failing read (`got` then holds what came before it).
int readAll(int fd, char* buffer, std::size_t size, std::size_t& got);
// The same from `offset` (pread); the file position is not used and not moved.
int readAllAt(int fd, char* buffer, std::size_t size, std::uint64_t offset, std::size_t& got);

}  // namespace ostrel
