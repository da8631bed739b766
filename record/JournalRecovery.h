#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "JournalFile.h"
#include "ReadingsTable.h"
#include "TimeText.h"

namespace ostrel {

// What the lines of a journal hold.
struct JournalContent {
  enum class Kind {
    Records,     // at least one record
    Empty,       // no record (nothing or only the header, possibly cut short)
    Unreadable,  // damaged before its last line, or not a journal at all
  };
  Kind kind = Kind::Empty;
  // As recorded: an empty text is an empty field. Held by pointer so that the scan hands the
  // records on without copying them (a table can be swapped into the window's).
  std::unique_ptr<ReadingsTable> records = std::make_unique<ReadingsTable>();
  std::size_t wholeLength = 0;   // bytes up to the end of the last line kept (header included)
  bool droppedLastLine = false;  // a damaged last line was left out
  // Whole lines left out because they are damaged, wherever they were (a last line cut short,
  // as a crash leaves it, is not counted: it never was a reading).
  std::size_t droppedLines = 0;
};

// Reads a journal's bytes. Each line is a "Save Data" text line of six cells, except that the
// time is written in one fixed form with milliseconds, "HH:MM:SS.mmm" (24 hours, whatever the
// locale; see journalTimeText); a time in timeFormat is read too (journals of earlier
// versions). "NULL" in a text cell is an empty field (the recording never produces that
// text). Every line that reads as a record is kept; a damaged line anywhere is left out and
// counted, a last line cut short is left out. Unreadable when the header is wrong, or when no line
// reads but a line before the last is damaged (nothing to offer, something to keep aside).
JournalContent readJournal(std::string_view bytes, const LongTimeFormat& timeFormat);

// readJournal on bytes that come in pieces (as they come off the disk): it holds the records
// and the line being read, never the journal's text. A line longer than maxLineBytes (no
// journal writes one) is damaged, and only its last byte is kept meanwhile.
class JournalReader {
 public:
  static constexpr std::size_t maxLineBytes = std::size_t{1} << 20;

  // keepRecords false: the records are counted, not kept (a journal that is not offered only
  // needs its kind).
  explicit JournalReader(const LongTimeFormat& timeFormat, bool keepRecords = true);
  // The next bytes of the journal. False once it is known to be unreadable (nothing more is
  // needed).
  bool feed(std::string_view bytes);
  // What the bytes fed hold; call once, at the end.
  JournalContent finish();

 private:
  void takeLine(std::string_view line, std::uint64_t end);
  void readBatch();

  const LongTimeFormat& m_timeFormat;
  bool m_keepRecords;
  JournalContent m_content;
  std::string m_pending;          // the bytes of the line not ended yet
  std::uint64_t m_pendingAt = 0;  // offset of m_pending's first byte in the journal
  std::uint64_t m_total = 0;      // bytes fed
  bool m_headerRead = false;
  bool m_unreadable = false;
  bool m_overlong = false;       // the line being read is longer than maxLineBytes
  std::uint64_t m_wholeEnd = 0;  // offset after the last line end
  std::uint64_t m_keptEnd = 0;   // offset after the last line kept
  std::size_t m_kept = 0;        // lines kept as records
  std::size_t m_damaged = 0;
  // Lines with a journal's shape and time, waiting for the text reader: their text with the
  // time in the C locale's whole seconds (after the header), and for each line its start in
  // that text, its end in the journal and its time.
  struct Candidate {
    std::size_t start = 0;
    std::uint64_t end = 0;
    std::int32_t ms = 0;
  };
  std::string m_batchText;
  std::vector<Candidate> m_batch;
};

// A time of day as a journal line holds it: "HH:MM:SS.mmm", 24 hours, in any locale.
std::string journalTimeText(std::int32_t ms);
// The time of day a journal's time text stands for; nullopt for anything but that form.
std::optional<std::int32_t> parseJournalTime(std::string_view text);

// A journal left behind by a window that did not end cleanly, locked by this process.
struct LeftJournal {
  std::unique_ptr<JournalFile> file;       // cut back to its whole lines
  std::unique_ptr<ReadingsTable> records;  // never empty
  bool droppedLastLine = false;
  std::size_t droppedLines = 0;  // damaged lines left out (see JournalContent)
};

// A journal that could not be read, renamed aside (or left in place when renaming failed).
struct UnreadableJournal {
  std::string path;
  std::string reason;  // why it could not be read
  std::string keptAs;  // the new name; empty when the rename failed
  std::string renameError;
};

struct JournalScan {
  std::optional<LeftJournal> left;  // the newest journal with records, if any
  std::vector<UnreadableJournal> unreadable;
  // Why the folder is not trusted (it belongs to another user, or others may write to it):
  // nothing in it was read or touched then. Empty for a trusted or missing folder.
  std::string untrusted;
  // The scan stopped on request before it was done: the journal being read was left as it
  // was, and no more were looked at.
  bool cancelled = false;
};

// Looks through folder for journals that no running window holds (their lock is free). The
// folder is opened once (see openJournalFolder) and never made here.
// Journals without records are removed; unreadable ones are renamed aside and listed; the
// newest one with records is returned, locked, for the window to offer (older ones stay for
// later starts). A missing folder gives an empty scan; a folder that is not the user's own
// or that its group or others may write to is not looked into (see JournalScan::untrusted). Each
// journal is read in pieces: what the scan holds is the offered records and a small buffer. A
// journal this process holds (the window's own, made while the scan runs) is locked, so it
// is left alone like any running window's. cancel, when given, is looked at between pieces
// (see JournalScan::cancelled). Any one thread.
JournalScan scanLeftJournals(const std::string& folder, const LongTimeFormat& timeFormat,
                             const std::atomic<bool>* cancel = nullptr);
// The same in a journal folder already open (and so already found trusted): every journal is
// reached through the folder's descriptor.
JournalScan scanLeftJournals(const std::shared_ptr<const JournalFolder>& folder,
                             const LongTimeFormat& timeFormat,
                             const std::atomic<bool>* cancel = nullptr);

}  // namespace ostrel
