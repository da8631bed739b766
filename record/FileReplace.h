#pragma once

#include <string>
#include <string_view>

#include "base/Result.h"
#include "base/UniqueFd.h"

namespace ostrel {

// The one rule by which every writer of a user's file (table files, reports, exports)
// replaces it: the new bytes go to a temporary file beside the target and are renamed over
// it only after all of them were written and flushed to disk, so a failure or an
// interruption never leaves a half-written file where the old one was.
//
// - A symbolic link is followed (a chain of them too, a dangling one included): the file it
//   leads to is replaced and the link stays a link.
// - A target that exists must be a regular file the user may write, exactly as for a plain
//   overwrite; a FIFO, a device or a folder is refused, never opened (opening a FIFO
//   blocks until a reader comes).
// - The new file keeps the old one's permission bits (and owner, where allowed); a new
//   target gets 0666 less the umask. A hard link is split: the other names keep the old
//   content.
// - The temporary file is named "<target>.ostrel-XXXXXX"; it is removed on every failure,
//   by the destructor when not committed, and by removePendingReplacementFiles() from a
//   signal handler.
//
// Use: begin(path), write to fd() or, for a writer that opens files by name, to
// temporaryPath(), then commit(). Main thread or any single thread; not shared.
class FileReplacement {
 public:
  FileReplacement() = default;
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Checks the target and creates the temporary file. On failure the reason in the system's
  // words (strerror); nothing is created then.
  Result<> begin(const std::string& path);

  // Open for writing, positioned at 0; -1 before begin() or after commit()/discard().
  [[nodiscard]] int fd() const { return m_fd.get(); }
  [[nodiscard]] const std::string& temporaryPath() const { return m_temporary; }
  // The file that commit() replaces (the symbolic links followed).
  [[nodiscard]] const std::string& targetPath() const { return m_target; }

  // Appends bytes to the temporary file (a writer's next chunk). On failure the system's
  // reason; the caller then gives up, and the target stays untouched.
  Result<> write(std::string_view bytes);

  // Flushes the temporary file to disk, gives it the target's mode and renames it over the
  // target. On failure the reason; the temporary file is removed and the target untouched.
  // Closes fd().
  Result<> commit();

  // Removes the temporary file; the target is untouched. Called by the destructor.
  void discard();

 private:
  UniqueFd m_fd;
  int m_slot = -1;  // place in the list of pending files a signal handler removes
  bool m_targetExists = false;
  unsigned m_targetMode = 0;
  unsigned m_targetUid = 0;
  unsigned m_targetGid = 0;
  std::string m_target;
  std::string m_temporary;
};

// Writes `content` as the whole new content of the file at `path` by the rule above.
// On failure the system's reason (strerror); the target is then untouched and no temporary
// file is left.
Result<> replaceFileContent(const std::string& path, std::string_view content);

// Removes the temporary file of every replacement in progress. Async-signal-safe: meant
// for a handler of SIGINT or SIGTERM.
void removePendingReplacementFiles() noexcept;

// Installs handlers for SIGINT, SIGTERM, SIGHUP and SIGQUIT that remove the pending
// temporary files and then end the process as the signal would have. For programs that have
// no other use for these signals (the window and the commands that write files).
void removeReplacementFilesOnStopSignals();

// The reason given for a target that exists but is no regular file.
inline constexpr std::string_view notRegularFileReason = "Not a regular file";

}  // namespace ostrel
