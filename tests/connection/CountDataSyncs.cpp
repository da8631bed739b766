// Preloaded (LD_PRELOAD) into ostrel-cli log under test: each fdatasync or fsync of the file
// named by OSTREL_TEST_SYNCED_FILE appends the file's size at that moment, one number a line,
// to the file named by OSTREL_TEST_SYNC_LOG. The test reads from the sizes how many records
// were on the disk at each sync.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void noteSync(int fd) {
  const char* watched = std::getenv("OSTREL_TEST_SYNCED_FILE");
  const char* log = std::getenv("OSTREL_TEST_SYNC_LOG");
  if (watched == nullptr || log == nullptr) return;
  char link[64];
  char target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t length = ::readlink(link, target, sizeof target - 1);
  if (length <= 0) return;
  target[length] = '\0';
  if (std::strcmp(target, watched) != 0) return;
  struct stat info {};
  if (::fstat(fd, &info) != 0) return;
  char line[32];
  const int size = std::snprintf(line, sizeof line, "%lld\n", static_cast<long long>(info.st_size));
  const int out = ::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (out < 0) return;
  [[maybe_unused]] const ssize_t written = ::write(out, line, static_cast<std::size_t>(size));
  ::close(out);
}

using Sync = int (*)(int);

}  // namespace

extern "C" int fdatasync(int fd) {
  static const auto next = reinterpret_cast<Sync>(::dlsym(RTLD_NEXT, "fdatasync"));
  const int result = next(fd);
  noteSync(fd);
  return result;
}

extern "C" int fsync(int fd) {
  static const auto next = reinterpret_cast<Sync>(::dlsym(RTLD_NEXT, "fsync"));
  const int result = next(fd);
  noteSync(fd);
  return result;
}
