#include "FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace ostrel {

namespace {

std::string reason(int error) { return std::strerror(error); }

// Writes all of content to fd; 0 or the errno of the failing write.
int writeAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    content.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

std::string writeInPlace(const std::string& path, std::string_view content) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return reason(errno);
  int error = writeAll(fd, content);
  if (::close(fd) != 0 && error == 0) error = errno;
  return error == 0 ? std::string{} : reason(error);
}

// The file a symbolic link leads to, so that the link itself survives the rename.
std::string resolvedTarget(const std::string& path) {
  struct stat link {};
  if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

std::string replaceFileContent(const std::string& path, std::string_view content) {
  const std::string target = resolvedTarget(path);
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) return writeInPlace(target, content);

  std::string temporary = target + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return reason(errno);
  int error = ::fchmod(fd, exists ? (existing.st_mode & 07777) : newFileMode()) == 0 ? 0 : errno;
  if (error == 0) error = writeAll(fd, content);
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return reason(error);
  }
  return {};
}

}  // namespace ostrel
