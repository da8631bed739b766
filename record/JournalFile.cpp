#include "JournalFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ReadingsTable.h"
#include "TableFiles.h"

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
  static const std::string header =
      writeTextTable(ReadingsTable{}, LongTimeFormat::fromEnvironment());
  return header;
}

std::unique_ptr<JournalFile> JournalFile::create(const std::string& folder, std::string& error) {
  if (const int made = makeFolder(folder); made != 0) {
    error = folder + ": " + reason(made);
    return nullptr;
  }
  std::string creating = folder + "/" + std::string(creatingPrefix) + "XXXXXX";
  const int fd = ::mkostemp(creating.data(), O_CLOEXEC);
  if (fd < 0) {
    error = folder + ": " + reason(errno);
    return nullptr;
  }
  const std::string unique = creating.substr(creating.size() - 6);
  auto file = std::make_unique<JournalFile>(fd, creating, 0);
  int failure = lockJournal(fd) ? 0 : errno;
  if (failure == 0) failure = writeWhole(fd, headerLine(), 0);
  if (failure == 0) {
    // The journal name appears only now, locked and with its header, so that a window
    // starting meanwhile never takes it for one left behind.
    const std::string path =
        folder + "/" + std::string(journalPrefix) + unique + std::string(journalSuffix);
    if (::renameat2(AT_FDCWD, creating.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
      failure = errno;
    } else {
      // The new name on disk too: a crash right after must not lose the journal's entry.
      if (const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
          folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
      }
      file->m_path = path;
      file->m_length = headerLine().size();
      file->m_needsCut = false;
      return file;
    }
  }
  ::unlink(creating.c_str());
  error = folder + ": " + reason(failure);
  return nullptr;
}

JournalFile::JournalFile(int fd, std::string path, std::uint64_t wholeLength)
    : m_fd(fd), m_path(std::move(path)), m_length(wholeLength) {}

JournalFile::~JournalFile() {
  if (m_fd >= 0) ::close(m_fd);
}

std::string JournalFile::cutBack() {
  if (::ftruncate(m_fd, static_cast<off_t>(m_length)) != 0) return reason(errno);
  m_needsCut = false;
  return {};
}

std::string JournalFile::appendLine(std::string_view line) {
  if (m_needsCut) {
    if (std::string error = cutBack(); !error.empty()) return error;
  }
  if (const int error = writeWhole(m_fd, line, m_length); error != 0) {
    m_needsCut = true;
    cutBack();
    return reason(error);
  }
  m_length += line.size();
  return {};
}

std::string JournalFile::sync() { return ::fdatasync(m_fd) == 0 ? std::string{} : reason(errno); }

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
