#include "FileReplace.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "base/SystemCalls.h"

namespace ostrel {

namespace {

// Temporary files of the replacements in progress, for a signal handler to remove. This
// library's one piece of static state: a signal handler can reach nothing else. Each slot
// holds its own copy of the name in a fixed buffer, so a handler never follows a pointer
// into memory that may be freed or moved; `armed` tells it whether the name is complete.
// Lock-free atomics keep reading them async-signal-safe.
struct PendingFile {
  std::atomic<bool> claimed{false};  // owned by a FileReplacement
  std::atomic<bool> armed{false};    // `name` holds a whole name a handler may remove
  std::array<char, PATH_MAX> name{};
};
constexpr std::size_t pendingSlotCount = 8;
std::array<PendingFile, pendingSlotCount> pendingFiles{};
static_assert(std::atomic<bool>::is_always_lock_free);

// A slot holding `pattern`, armed; -1 when all are taken or the name does not fit (only the
// signal clean-up misses such a file).
int claimPendingSlot(const std::string& pattern) {
  if (pattern.size() >= PATH_MAX) return -1;
  for (std::size_t i = 0; i < pendingFiles.size(); ++i) {
    bool expected = false;
    if (pendingFiles[i].claimed.compare_exchange_strong(expected, true)) {
      PendingFile& slot = pendingFiles[i];
      std::memcpy(slot.name.data(), pattern.c_str(), pattern.size() + 1);
      slot.armed.store(true);
      return static_cast<int>(i);
    }
  }
  return -1;
}

void releasePendingSlot(int& slot) {
  if (slot >= 0) {
    PendingFile& pending = pendingFiles[static_cast<std::size_t>(slot)];
    pending.armed.store(false);
    pending.claimed.store(false);
  }
  slot = -1;
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that path finally names: symbolic links followed one by one, a dangling one
// included, so that the link itself survives the rename and its target is what changes.
// 0 or the errno (ELOOP for a cycle).
int followLinks(std::string path, std::string& target) {
  constexpr int maxLinks = 40;  // as the kernel allows
  for (int followed = 0; followed <= maxLinks; ++followed) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      target = path;
      return 0;
    }
    std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
    const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
    if (length < 0) return errno;
    if (static_cast<std::size_t>(length) == link.size()) return ENAMETOOLONG;
    link.resize(static_cast<std::size_t>(length));
    if (link.starts_with('/')) {
      path = std::move(link);
    } else {
      std::string linked = folderOf(path);
      linked += '/';
      linked += link;
      path = std::move(linked);
    }
  }
  return ELOOP;
}

mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

// "<folder>/<name>.ostrel-XXXXXX", the name shortened so the whole stays a legal name.
std::string temporaryPattern(const std::string& target) {
  constexpr std::size_t maxBaseBytes = 200;  // leaves room within NAME_MAX (255)
  const std::size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  return folder + base.substr(0, maxBaseBytes) + ".ostrel-XXXXXX";
}

void onStopSignal(int signal) {
  removePendingReplacementFiles();
  ::raise(signal);  // the handler was reset: ends the process once this handler returns
}

}  // namespace

FileReplacement::~FileReplacement() { discard(); }

Result<> FileReplacement::begin(const std::string& path) {
  discard();
  if (const int error = followLinks(path, m_target); error != 0) {
    return Result<>::failure(reason(error));
  }
  struct stat existing {};
  m_targetExists = ::stat(m_target.c_str(), &existing) == 0;
  if (m_targetExists) {
    if (!S_ISREG(existing.st_mode)) return Result<>::failure(std::string(notRegularFileReason));
    // The test a plain overwrite meets (permission bits with the effective ids, read-only
    // mounts, immutable files), without opening the file.
    if (::faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0) {
      return Result<>::failure(reason(errno));
    }
    m_targetMode = existing.st_mode & 07777;
    m_targetUid = existing.st_uid;
    m_targetGid = existing.st_gid;
  } else {
    m_targetMode = newFileMode();
  }
  m_temporary = temporaryPattern(m_target);
  // Listed before it exists: mkostemp fills in the name in the slot's own buffer, so that
  // no signal can come between the file's creation and its listing.
  m_slot = claimPendingSlot(m_temporary);
  char* name =
      m_slot >= 0 ? pendingFiles[static_cast<std::size_t>(m_slot)].name.data() : m_temporary.data();
  m_fd = UniqueFd(::mkostemp(name, O_CLOEXEC));
  if (!m_fd.valid()) {
    const int error = errno;
    releasePendingSlot(m_slot);
    m_temporary.clear();
    return Result<>::failure(reason(error));
  }
  if (m_slot >= 0) m_temporary = name;
  return {};
}

Result<> FileReplacement::commit() {
  if (m_temporary.empty()) return Result<>::failure(reason(EBADF));
  // A writer that opened the temporary file by name may have put a new file there, so the
  // file on the name is what gets flushed and given the target's mode.
  int error = 0;
  if (const UniqueFd fd(::open(m_temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
      !fd.valid()) {
    error = errno;
  } else {
    if (m_targetExists && (m_targetUid != ::geteuid() || m_targetGid != ::getegid())) {
      // Best effort: only a privileged user may give the file back its owner; the mode
      // below is what matters.
      [[maybe_unused]] const int ignored = ::fchown(fd.get(), m_targetUid, m_targetGid);
    }
    if (::fchmod(fd.get(), static_cast<mode_t>(m_targetMode)) != 0) error = errno;
    if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
  }
  // Closed here, not by the owner, so that a failing close (a write the file system could
  // not keep) fails the commit.
  if (m_fd.valid() && ::close(m_fd.release()) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(m_temporary.c_str(), m_target.c_str()) != 0) error = errno;
  if (error != 0) {
    discard();
    return Result<>::failure(reason(error));
  }
  releasePendingSlot(m_slot);
  m_temporary.clear();
  return {};
}

void FileReplacement::discard() {
  m_fd.reset();
  if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
  releasePendingSlot(m_slot);
  m_temporary.clear();
}

Result<> FileReplacement::write(std::string_view bytes) {
  if (!m_fd.valid()) return Result<>::failure(reason(EBADF));
  const int error = writeAll(m_fd.get(), bytes);
  return error == 0 ? Result<>() : Result<>::failure(reason(error));
}

Result<> replaceFileContent(const std::string& path, std::string_view content) {
  FileReplacement replacement;
  if (Result<> begun = replacement.begin(path); !begun.ok()) return begun;
  if (Result<> written = replacement.write(content); !written.ok()) return written;
  return replacement.commit();
}

void removePendingReplacementFiles() noexcept {
  for (const PendingFile& slot : pendingFiles) {
    if (slot.armed.load()) ::unlink(slot.name.data());
  }
}

void removeReplacementFilesOnStopSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(signal, &action, nullptr);
}

}  // namespace ostrel
