// Preloaded (LD_PRELOAD) into a command under test: the first time the command flushes a
// replacement's temporary file ("NAME.ostrel-XXXXXX") to disk, the process stops itself
// (SIGSTOP). All its bytes are written then and the rename is still to come, so a test can
// send a signal in the middle of a save, at the same point every time, and let it go on.
#include <dlfcn.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

extern "C" int fsync(int fd) {
  static bool stopped = false;
  if (!stopped) {
    char link[64];
    char target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    if (length > 0) {
      target[length] = '\0';
      if (std::strstr(target, ".ostrel-") != nullptr) {
        stopped = true;
        std::raise(SIGSTOP);
      }
    }
  }
  using Fsync = int (*)(int);
  static const auto next = reinterpret_cast<Fsync>(::dlsym(RTLD_NEXT, "fsync"));
  return next(fd);
}
