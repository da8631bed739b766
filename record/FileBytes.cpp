#include "FileBytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"

namespace ostrel {

namespace {

// The mappings a SIGBUS handler may patch: a fault inside one of them means its file was
// cut short. A slot is taken by storing its start last, and freed by clearing the start
// first, so the handler never sees a half-written slot.
struct GuardedMapping {
  std::atomic<char*> begin{nullptr};
  std::atomic<std::size_t> size{0};
  std::atomic<bool> cut{false};
  std::atomic<bool> taken{false};
};
std::array<GuardedMapping, 32> guarded;
std::size_t pageSize = 4096;
struct sigaction previousBusAction {};

// Ends the process by the signal as if no handler were installed: the default action back,
// and the signal raised again (a fault would come back on its own when the handler returns,
// a signal sent with kill would not).
void dieOfBusError() {
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);
  ::sigaction(SIGBUS, &defaultAction, nullptr);
  ::raise(SIGBUS);
}

// Patches the mapping when the fault is a read past the end of one of ours; true when it did.
bool patchCutMapping(const siginfo_t& info) {
  // Only a real fault carries an address: a SIGBUS sent with kill or raise holds the sender's
  // pid and uid where the address would be.
  if (info.si_code != BUS_ADRERR) return false;
  const auto* at = static_cast<const char*>(info.si_addr);
  for (GuardedMapping& mapping : guarded) {
    char* const begin = mapping.begin.load();
    const std::size_t size = mapping.size.load();
    if (begin == nullptr || at < begin || at >= begin + size) continue;
    // The pages from the fault on read as zeros from now on; the reader goes on over them
    // and its result is discarded because intact() is false.
    char* const from = begin + static_cast<std::size_t>(at - begin) / pageSize * pageSize;
    const auto length = static_cast<std::size_t>(begin + size - from);
    if (::mmap(from, length, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
        MAP_FAILED) {
      return false;
    }
    mapping.cut.store(true);
    return true;
  }
  return false;
}

void onBusError(int signal, siginfo_t* info, void* context) {
  if (patchCutMapping(*info)) return;
  // Not one of ours: the handler that was there before, or the default (the process ends
  // by the signal as it would have without this handler).
  if ((previousBusAction.sa_flags & SA_SIGINFO) != 0 && previousBusAction.sa_sigaction != nullptr) {
    previousBusAction.sa_sigaction(signal, info, context);
  } else if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
    previousBusAction.sa_handler(signal);
  } else {
    dieOfBusError();
  }
}

void installBusHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    pageSize = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &previousBusAction);
  });
}

// A free slot for a mapping, or -1 when all are taken (the file is then read into a buffer).
int takeGuardSlot() {
  for (std::size_t slot = 0; slot < guarded.size(); ++slot) {
    bool expected = false;
    if (guarded[slot].taken.compare_exchange_strong(expected, true)) {
      return static_cast<int>(slot);
    }
  }
  return -1;
}

void freeGuardSlot(int slot) {
  if (slot < 0) return;
  GuardedMapping& mapping = guarded[static_cast<std::size_t>(slot)];
  mapping.begin.store(nullptr);
  mapping.size.store(0);
  mapping.cut.store(false);
  mapping.taken.store(false);
}

// Reads `size` bytes (the size the file had when opened; bytes appended meanwhile are not
// part of this load). Fails when the file ends before (it was cut short meanwhile: CutShort)
// or a read fails.
LoadResult readWhole(int fd, std::size_t size, std::string& buffer) {
  buffer.resize(size);
  std::size_t got = 0;
  const int error = readAll(fd, buffer.data(), size, got);
  buffer.resize(got);
  if (error != 0) return LoadResult::failed(LoadFailureKind::Unreadable, 0, got, reason(error));
  if (got != size) return LoadResult::failed(LoadFailureKind::CutShort, 0, got);
  return {};
}

// Done for a regular file; else what it is instead.
LoadResult regularFile(const struct stat& info) {
  if (S_ISREG(info.st_mode)) return {};
  if (S_ISDIR(info.st_mode)) return LoadResult::failed(LoadFailureKind::Folder);
  if (S_ISFIFO(info.st_mode)) return LoadResult::failed(LoadFailureKind::Fifo);
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
    return LoadResult::failed(LoadFailureKind::Device);
  }
  return LoadResult::failed(LoadFailureKind::Socket);
}

LoadResult systemFailure(int error) {
  return error == ENOENT ? LoadResult::failed(LoadFailureKind::NoSuchFile)
                         : LoadResult::failed(LoadFailureKind::Unreadable, 0, 0, reason(error));
}

}  // namespace

FileBytes::~FileBytes() {
  freeGuardSlot(m_guard);
  if (m_mapping != nullptr) ::munmap(m_mapping, m_mappedSize);
}

bool FileBytes::intact() const {
  return m_guard < 0 || !guarded[static_cast<std::size_t>(m_guard)].cut.load();
}

LoadResult FileBytes::open(const std::string& fileName) {
  // Checked by name first so that no FIFO or device is ever opened, then again on the open
  // file (non-blocking, in case the name was swapped meanwhile).
  struct stat info {};
  if (::stat(fileName.c_str(), &info) != 0) return systemFailure(errno);
  if (LoadResult regular = regularFile(info); !regular.ok()) return regular;
  const UniqueFd fd(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid()) return systemFailure(errno);
  if (::fstat(fd.get(), &info) != 0) return systemFailure(errno);
  LoadResult opened = regularFile(info);
  if (opened.ok() && info.st_size > 0) {
    m_mappedSize = static_cast<std::size_t>(info.st_size);
    // Not populated up front: a reader that releases what it consumed then keeps only the
    // pages it is reading resident.
    installBusHandler();
    m_guard = takeGuardSlot();
    m_mapping = m_guard < 0 ? MAP_FAILED
                            : ::mmap(nullptr, m_mappedSize, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (m_mapping == MAP_FAILED) {
      freeGuardSlot(m_guard);
      m_guard = -1;
      m_mapping = nullptr;
      opened = readWhole(fd.get(), m_mappedSize, m_buffer);
      m_mappedSize = 0;
      m_bytes = m_buffer;
    } else {
      GuardedMapping& mapping = guarded[static_cast<std::size_t>(m_guard)];
      mapping.size.store(m_mappedSize);
      mapping.begin.store(static_cast<char*>(m_mapping));
      m_bytes = std::string_view(static_cast<const char*>(m_mapping), m_mappedSize);
    }
  }
  return opened;
}

void FileBytes::release(std::size_t offset) {
  if (m_mapping == nullptr) return;
  const auto systemPage = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const std::size_t end = std::min(offset, m_mappedSize) / systemPage * systemPage;
  if (end <= m_released) return;
  // The mapping is private and never written, so dropping its pages loses nothing.
  ::madvise(static_cast<char*>(m_mapping) + m_released, end - m_released, MADV_DONTNEED);
  m_released = end;
}

}  // namespace ostrel
