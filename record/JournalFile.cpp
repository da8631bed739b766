#include "JournalFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "TextTableFormat.h"
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
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return errno;
  return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
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

Result<std::unique_ptr<JournalFile>> JournalFile::create(const std::string& folder) {
  const auto failed = [&folder](int error) {
    return Result<>::failure(folder + ": " + reason(error));
  };
  if (const int made = makeFolder(folder); made != 0) return failed(made);
  // A window starting meanwhile removes a creation it can lock (its creator looks gone): the
  // file is made again when that happened before this one locked it.
  int failure = 0;
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string creating = folder + "/" + std::string(creatingPrefix) + "XXXXXX";
    UniqueFd fd(::mkostemp(creating.data(), O_CLOEXEC));
    if (!fd.valid()) return failed(errno);
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
      failure = writeAllAt(fd.get(), headerLine(), 0);
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
          // Best effort: the journal works without it, only a crash at this moment could
          // lose its name.
          (void)::fsync(folderFd.get());
        }
        auto file = std::make_unique<JournalFile>(std::move(fd), path, headerLine().size());
        file->m_needsCut = false;
        return {std::move(file)};
      }
      failure = errno;
    }
    ::unlink(creating.c_str());
    break;
  }
  return failed(failure);
}

JournalFile::JournalFile(UniqueFd fd, std::string path, std::uint64_t wholeLength)
    : m_fd(std::move(fd)), m_path(std::move(path)), m_length(wholeLength) {}

Result<> JournalFile::cutBack() {
  if (::ftruncate(m_fd.get(), static_cast<off_t>(m_length)) != 0) {
    return Result<>::failure(reason(errno));
  }
  m_needsCut = false;
  return {};
}

Result<> JournalFile::appendLine(std::string_view line) {
  if (m_needsCut) {
    if (Result<> cut = cutBack(); !cut.ok()) return cut;
  }
  // One write, unless it comes back short (a signal, a file that just reached its size
  // limit); then the rest is tried, which either completes the line or gives the reason.
  if (const int error = writeAllAt(m_fd.get(), line, m_length); error != 0) {
    m_needsCut = true;
    // The write's reason is the one told; a cut that fails too is tried again before the
    // next line (m_needsCut stays set).
    (void)cutBack();
    return Result<>::failure(reason(error));
  }
  m_length += line.size();
  return {};
}

Result<> JournalFile::sync() {
  return ::fdatasync(m_fd.get()) == 0 ? Result<>() : Result<>::failure(reason(errno));
}

Result<> JournalFile::clear() {
  m_length = headerLine().size();
  m_needsCut = true;
  if (Result<> cut = cutBack(); !cut.ok()) return cut;
  return sync();
}

Result<> JournalFile::remove() {
  return ::unlink(m_path.c_str()) == 0 ? Result<>() : Result<>::failure(reason(errno));
}

}  // namespace ostrel
