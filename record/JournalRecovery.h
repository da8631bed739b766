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
  std::size_t wholeLength = 0;   // bytes of the lines kept (header included)
  bool droppedLastLine = false;  // a damaged last line was left out
};

// Reads a journal's bytes. Each line is a "Save Data" text line of six cells; "NULL" in a text
// cell is an empty field (the recording never produces that text). A last line that is cut
// short or does not read as a record is dropped; any other line that does not read makes the
// journal Unreadable.
JournalContent readJournal(std::string_view bytes, const LongTimeFormat& timeFormat);

// A journal left behind by a window that did not end cleanly, locked by this process.
struct LeftJournal {
  std::unique_ptr<JournalFile> file;       // cut back to its whole lines
  std::unique_ptr<ReadingsTable> records;  // never empty
  bool droppedLastLine = false;
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
};

// Looks through folder for journals that no running window holds (their lock is free).
// Journals without records are removed; unreadable ones are renamed aside and listed; the
// newest one with records is returned, locked, for the window to offer (older ones stay for
// later starts). A missing folder gives an empty scan. Main thread, at start.
JournalScan scanLeftJournals(const std::string& folder, const LongTimeFormat& timeFormat);

}  // namespace ostrel
