#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>
#include <string_view>

#include "base/Result.h"
#include "base/UniqueFd.h"

namespace ostrel {

// The folder of the recording journals, opened once (O_DIRECTORY | O_NOFOLLOW) and checked on
// the open descriptor: every journal in it is made, renamed and removed relative to that
// descriptor, so a folder put in its place after the check (a symbolic link, another folder)
// is never written. Immutable once open; any thread.
class JournalFolder {
 public:
  JournalFolder(UniqueFd fd, std::string path) : m_fd(std::move(fd)), m_path(std::move(path)) {}

  [[nodiscard]] int fd() const { return m_fd.get(); }
  [[nodiscard]] const std::string& path() const { return m_path; }
  // The full name of an entry, for reports only (the entry itself is reached through fd()).
  [[nodiscard]] std::string pathOf(std::string_view name) const;
  // Makes the folder's entries durable (fsync of the folder): a journal's new name must
  // survive a crash right after it appears.
  [[nodiscard]] Result<> sync() const;

 private:
  UniqueFd m_fd;
  std::string m_path;
};

// How opening a journal folder ended: open and trusted, not trusted, or failed.
struct JournalFolderOpening {
  std::shared_ptr<const JournalFolder> folder;  // set when open and trusted
  // Why it is not trusted (see untrustedFolderReason); the folder is not kept open then.
  std::string untrusted;
  int error = 0;  // why it could not be opened: ENOENT for a missing one that was not made
};

// Opens the journal folder at path, made first (mode 0700, and its missing parents) when
// `make` is set. A symbolic link in the folder's place is refused (ELOOP).
JournalFolderOpening openJournalFolder(const std::string& path, bool make);

// Why a folder with these attributes is not trusted with readings, or empty when it is: the
// journals it holds could be anyone's, and what is written there anyone could read or swap,
// when it is no folder, belongs to another user, or its group or others may write to it.
std::string untrustedFolderReason(const struct stat& info);

}  // namespace ostrel
