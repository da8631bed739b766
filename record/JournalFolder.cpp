#include "JournalFolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "base/SystemCalls.h"

namespace ostrel {

namespace {

// mkdir -p with mode 0700 for what is made; 0 or the errno of the failing step.
int makeFolder(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) break;
  }
  return 0;
}

}  // namespace

std::string JournalFolder::pathOf(std::string_view name) const {
  std::string path = m_path;
  path += '/';
  path += name;
  return path;
}

Result<> JournalFolder::sync() const {
  return ::fsync(m_fd.get()) == 0 ? Result<>() : Result<>::failure(reason(errno));
}

std::string untrustedFolderReason(const struct stat& info) {
  if (!S_ISDIR(info.st_mode)) return "it is not a folder";
  if (info.st_uid != ::geteuid()) return "it belongs to another user";
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "others may write to it";
  return {};
}

JournalFolderOpening openJournalFolder(const std::string& path, bool make) {
  JournalFolderOpening opening;
  if (make) {
    if (const int made = makeFolder(path); made != 0) {
      opening.error = made;
      return opening;
    }
  }
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) {
    opening.error = errno;
    // With O_DIRECTORY a symbolic link fails as ENOTDIR (or ELOOP): told apart for the report.
    struct stat entry {};
    if (opening.error == ELOOP || (opening.error == ENOTDIR && ::lstat(path.c_str(), &entry) == 0 &&
                                   S_ISLNK(entry.st_mode))) {
      opening.untrusted = "it is a symbolic link";
    } else if (opening.error == ENOTDIR) {
      opening.untrusted = "it is not a folder";
    }
    if (!opening.untrusted.empty()) opening.error = 0;
    return opening;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    opening.error = errno;
    return opening;
  }
  opening.untrusted = untrustedFolderReason(info);
  if (opening.untrusted.empty()) {
    opening.folder = std::make_shared<const JournalFolder>(std::move(fd), path);
  }
  return opening;
}

}  // namespace ostrel
