#pragma once

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

// A time of day as a journal line holds it: "HH:MM:SS.mmm", 24 hours, in any locale.
std::string journalTimeText(std::int32_t ms);

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
};

// Looks through folder for journals that no running window holds (their lock is free).
// Journals without records are removed; unreadable ones are renamed aside and listed; the
// newest one with records is returned, locked, for the window to offer (older ones stay for
// later starts). A missing folder gives an empty scan; a folder that is not the user's own
// or that others may write to is not looked into (see JournalScan::untrusted). Main thread,
// at start.
JournalScan scanLeftJournals(const std::string& folder, const LongTimeFormat& timeFormat);

}  // namespace ostrel
