#include "JournalFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "TextTableFormat.h"
#include "base/SystemCalls.h"

namespace ostrel {

namespace {

// Six characters for a new journal's name, as mkstemp would choose them.
std::string randomNameCharacters() {
  static constexpr std::string_view letters =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::uniform_int_distribution<std::size_t> pick(0, letters.size() - 1);
  std::string characters(6, ' ');
  for (char& c : characters) c = letters[pick(random)];
  return characters;
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
  JournalFolderOpening opening = openJournalFolder(folder, true);
  if (!opening.untrusted.empty()) {
    return Result<>::failure(folder + ": not trusted: " + opening.untrusted);
  }
  if (!opening.folder) return Result<>::failure(folder + ": " + reason(opening.error));
  return create(std::move(opening.folder));
}

Result<std::unique_ptr<JournalFile>> JournalFile::create(
    std::shared_ptr<const JournalFolder> folder) {
  const auto failed = [&folder](int error) {
    return Result<>::failure(folder->path() + ": " + reason(error));
  };
  const int at = folder->fd();
  // A window starting meanwhile removes a creation it can lock (its creator looks gone): the
  // file is made again when that happened before this one locked it.
  int failure = 0;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string characters = randomNameCharacters();
    const std::string creating = std::string(creatingPrefix) + characters;
    UniqueFd fd(
        ::openat(at, creating.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) {
      failure = errno;
      if (failure == EEXIST) continue;  // a name taken: another one
      return failed(failure);
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
      failure = writeAllAt(fd.get(), headerLine(), 0);
    }
    if (failure == 0) {
      // The journal name appears only now, locked and with its header, so that a window
      // starting meanwhile never takes it for one left behind.
      std::string name(journalPrefix);
      name += characters;
      name += journalSuffix;
      if (::renameat2(at, creating.c_str(), at, name.c_str(), RENAME_NOREPLACE) == 0) {
        // The new name on disk too: a crash right after must not lose the journal's entry.
        // Best effort: the journal works without it, only a crash at this moment could
        // lose its name.
        (void)folder->sync();
        auto file = std::make_unique<JournalFile>(std::move(fd), std::move(folder), std::move(name),
                                                  headerLine().size());
        file->m_needsCut = false;
        return {std::move(file)};
      }
      failure = errno;
    }
    ::unlinkat(at, creating.c_str(), 0);
    break;
  }
  return failed(failure);
}

JournalFile::JournalFile(UniqueFd fd, std::shared_ptr<const JournalFolder> folder, std::string name,
                         std::uint64_t wholeLength)
    : m_fd(std::move(fd)),
      m_folder(std::move(folder)),
      m_name(std::move(name)),
      m_path(m_folder->pathOf(m_name)),
      m_length(wholeLength) {}

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
  const int removed =
      m_folder ? ::unlinkat(m_folder->fd(), m_name.c_str(), 0) : ::unlink(m_path.c_str());
  return removed == 0 ? Result<>() : Result<>::failure(reason(errno));
}

}  // namespace ostrel
