#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "JournalFolder.h"
#include "base/Result.h"
#include "base/UniqueFd.h"

namespace ostrel {

// Where the window keeps its recording journals: $XDG_STATE_HOME/ostrel when that is an
// absolute path, else $HOME/.local/state/ostrel; empty (no journal) when neither is known.
// Either argument may be null (variable not set).
std::string journalFolder(const char* xdgStateHome, const char* home);

// The names of journals in their folder: "recording-XXXXXX.txt". Journals that could not be
// read are renamed aside to "unreadable-" + their name, out of this pattern.
inline constexpr std::string_view journalPrefix = "recording-";
inline constexpr std::string_view journalSuffix = ".txt";
inline constexpr std::string_view unreadablePrefix = "unreadable-";
// A journal being created carries this prefix until it is locked (then it is renamed).
inline constexpr std::string_view creatingPrefix = ".creating-";

// What the journal writer writes to: one line per record, in order. Every call fails with
// the reason in the system's words (strerror).
class JournalSink {
 public:
  virtual ~JournalSink() = default;
  // Appends one whole line; on failure nothing of it stays.
  virtual Result<> appendLine(std::string_view line) = 0;
  // Makes the lines appended so far durable.
  virtual Result<> sync() = 0;
  // Drops every line, keeping the header.
  virtual Result<> clear() = 0;
  // Removes the journal (a clean end).
  virtual Result<> remove() = 0;
  // The journal's file name, for a report of a failure; empty when it has none.
  [[nodiscard]] virtual std::string name() const { return {}; }
};

// One journal file: the "Save Data" text format (header line, then one CRLF line per record),
// held under an open-file-description lock for as long as this object lives, so that no
// other window takes it for a journal left behind. Not thread-safe: one thread at a time.
class JournalFile final : public JournalSink {
 public:
  // Creates a new journal in an open journal folder. The file appears under its journal name
  // only once it is locked, and it already holds the header then; the folder is synced after
  // the name appears. On failure the reason, "<folder>: <system's reason>".
  static Result<std::unique_ptr<JournalFile>> create(std::shared_ptr<const JournalFolder> folder);
  // The same in the folder at that path (made, mode 0700, when missing); a folder that is not
  // trusted (see untrustedFolderReason) is refused, "<folder>: not trusted: <why>".
  static Result<std::unique_ptr<JournalFile>> create(const std::string& folder);
  // Takes over a journal of folder named `name` that is open for writing (fd) and locked by
  // this process before the first write, whose whole lines end at wholeLength; bytes after it
  // are cut away by the first write. Never reads the file.
  JournalFile(UniqueFd fd, std::shared_ptr<const JournalFolder> folder, std::string name,
              std::uint64_t wholeLength);
  // The same for a file reached by its path (removed by that path).
  JournalFile(UniqueFd fd, std::string path, std::uint64_t wholeLength);
  // Closes the file, which releases the lock; the file stays.
  ~JournalFile() override = default;
  JournalFile(const JournalFile&) = delete;
  JournalFile& operator=(const JournalFile&) = delete;

  [[nodiscard]] const std::string& path() const { return m_path; }
  // Length of the whole lines written so far (the header included).
  [[nodiscard]] std::uint64_t wholeLength() const { return m_length; }

  // One write per line (its rest is tried again only after a short write). A failed write
  // cuts the file back to its last whole line.
  Result<> appendLine(std::string_view line) override;
  Result<> sync() override;    // fdatasync
  Result<> clear() override;   // back to the header line
  Result<> remove() override;  // unlinks the file from its folder; it is closed when this goes
  [[nodiscard]] std::string name() const override { return m_path; }
  // Cuts the file back to its last whole line (drops a damaged end).
  Result<> cutBack();

  // The header line (with its CRLF) that every journal starts with.
  static const std::string& headerLine();

 private:
  UniqueFd m_fd;
  std::shared_ptr<const JournalFolder> m_folder;
  std::string m_name;  // in m_folder
  std::string m_path;  // for reports
  std::uint64_t m_length = 0;
  bool m_needsCut = true;  // bytes beyond m_length may exist
};

// Tries to take the lock of an open journal; false when another open file (another window)
// holds it. fd must be open for writing.
bool lockJournal(int fd);

}  // namespace ostrel
