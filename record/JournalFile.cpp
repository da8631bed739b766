#include "JournalFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "TextTableFormat.h"

namespace ostrel {

namespace {

std::string reason(int error) { return std::strerror(error); }

// mkdir -p with mode 0700 for what is made; 0 or the errno of the failing step.
int makeFolder(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return errno;
  return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

// Writes all of bytes at offset: one call, unless it comes back short (a signal, a file
// that just reached its size limit); then the rest is tried, which either completes the line
// or gives the reason. 0 or the errno.
int writeWhole(int fd, std::string_view bytes, std::uint64_t offset) {
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(written));
    offset += static_cast<std::uint64_t>(written);
  }
  return 0;
}

}  // namespace

std::string journalFolder(const char* xdgStateHome, const char* home) {
  if (xdgStateHome != nullptr && xdgStateHome[0] == '/') {
    return std::string(xdgStateHome) + "/ostrel";
  }
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/state/ostrel";
  return {};
}

bool lockJournal(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

const std::string& JournalFile::headerLine() {
  static const std::string header(textHeaderLine);
  return header;
}

std::unique_ptr<JournalFile> JournalFile::create(const std::string& folder, std::string& error) {
  if (const int made = makeFolder(folder); made != 0) {
    error = folder + ": " + reason(made);
    return nullptr;
  }
  // A window starting meanwhile removes a creation it can lock (its creator looks gone): the
  // file is made again when that happened before this one locked it.
  int failure = 0;
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string creating = folder + "/" + std::string(creatingPrefix) + "XXXXXX";
    UniqueFd fd(::mkostemp(creating.data(), O_CLOEXEC));
    if (!fd.valid()) {
      error = folder + ": " + reason(errno);
      return nullptr;
    }
    struct stat info {};
    if (!lockJournal(fd.get())) {
      failure = errno;
      if (failure == EAGAIN || failure == EACCES) continue;  // taken by a scan; it unlinks it
    } else if (::fstat(fd.get(), &info) != 0) {
      failure = errno;
    } else if (info.st_nlink == 0) {
      failure = ENOENT;  // removed by a scan before the lock was taken
      continue;
    } else {
      failure = writeWhole(fd.get(), headerLine(), 0);
    }
    if (failure == 0) {
      // The journal name appears only now, locked and with its header, so that a window
      // starting meanwhile never takes it for one left behind.
      std::string path = folder;
      path += '/';
      path += journalPrefix;
      path += std::string_view(creating).substr(creating.size() - 6);
      path += journalSuffix;
      if (::renameat2(AT_FDCWD, creating.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
        // The new name on disk too: a crash right after must not lose the journal's entry.
        if (const UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            folderFd.valid()) {
          ::fsync(folderFd.get());
        }
        auto file = std::make_unique<JournalFile>(std::move(fd), path, headerLine().size());
        file->m_needsCut = false;
        return file;
      }
      failure = errno;
    }
    ::unlink(creating.c_str());
    break;
  }
  error = folder + ": " + reason(failure);
  return nullptr;
}

JournalFile::JournalFile(UniqueFd fd, std::string path, std::uint64_t wholeLength)
    : m_fd(std::move(fd)), m_path(std::move(path)), m_length(wholeLength) {}

std::string JournalFile::cutBack() {
  if (::ftruncate(m_fd.get(), static_cast<off_t>(m_length)) != 0) return reason(errno);
  m_needsCut = false;
  return {};
}

std::string JournalFile::appendLine(std::string_view line) {
  if (m_needsCut) {
    if (std::string error = cutBack(); !error.empty()) return error;
  }
  if (const int error = writeWhole(m_fd.get(), line, m_length); error != 0) {
    m_needsCut = true;
    cutBack();
    return reason(error);
  }
  m_length += line.size();
  return {};
}

std::string JournalFile::sync() {
  return ::fdatasync(m_fd.get()) == 0 ? std::string{} : reason(errno);
}

std::string JournalFile::clear() {
  m_length = headerLine().size();
  m_needsCut = true;
  if (std::string error = cutBack(); !error.empty()) return error;
  return sync();
}

std::string JournalFile::remove() {
  return ::unlink(m_path.c_str()) == 0 ? std::string{} : reason(errno);
}

}  // namespace ostrel
