#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ChunkedOutput.h"
#include "FileBytes.h"
#include "LoadFailure.h"
#include "ReadingsTable.h"
#include "TextTableFormat.h"
#include "TimeText.h"
#include "WorkbookFile.h"
#include "base/Result.h"

namespace ostrel {

// Told now and then how far a save or load got: `done` of `total` (bytes of the file read, of
// the file's expected size written, or records of a workbook written); a save or load that
// got through all of it says so last, done == total. Its false cancels: a load then fails and
// leaves the table as it was, a save leaves the old file as it was. It may be called on any
// thread the save or load runs on.
using FileProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Saves the whole table; ".xml" (any letter case) writes a data packet, ".xlsx" an Excel
// workbook (see writeWorkbook; decimalSeparator tells which Value texts are numbers, tests what
// its test sheets follow), any
// other name tab-separated text. The previous file is replaced only by a complete new one:
// a failed save leaves it intact (see FileReplace.h for symbolic links, permissions and files
// that are no regular file, which are refused). What is written loads back: a table holding
// a NUL byte in a text, or, for text, a record without number or time, is refused (save
// failure message), and a tab, CR or LF inside a text is written to text as a blank.
// Messages: "Save table to specified file: <name> Scuss!" on success; "Could not save table
// to specified file: <name>" for a failed text save, followed by a line with the reason for a
// failed workbook save; for a failed packet save "Cannot create file \"<name>\". " + the
// system's reason. The message is the text for the window's message box. A save its progress
// cancelled is cancelled() and has the failure's message; the old file stays as it was.
Result<> SaveTableToFile(ReadingsTable& table, const std::string& fileName,
                         std::string_view decimalSeparator = ".", const WorkbookTests& tests = {},
                         const FileProgress& progress = {});

// The forms of text a load takes: the window's "Open Data" takes the text table of "Save
// Data"; the commands take the recording journal's form too (see readJournalTable), so that
// a journal the window wrote can be converted, reported, charted and analysed.
enum class TextForms { Table, TableOrJournal };

// Loads a file into the table (EmptyFirst: empty it before). A data packet replaces the
// table, which stays as it was if the packet cannot be loaded. A text file appends one
// record per line after the first (state 4); a failing line (a NUL byte in it too) ends the
// load, keeping the records of the lines before it. Anything but a regular file (a FIFO,
// a device) is refused without being opened. A workbook (".xlsx") is written only, never
// read. Any failure: not ok, message "Failed to Load File!", and failure() says why as it
// was found (see LoadFailure.h); on success no message. A file cut short while it is read
// fails (CutShort) and keeps nothing of what was read. A cancelled load (progress said false)
// is cancelled() with the same message and takes back what it appended.
LoadResult LoadTableFromFile(const std::string& fileName, ReadingsTable& table, bool EmptyFirst,
                             const FileProgress& progress = {}, TextForms forms = TextForms::Table);

// Appends the records [first, first + count) of `from` (their change states kept) to `to`:
// a snapshot of the live table for a save or load on another thread.
void copyRecords(const ReadingsTable& from, std::size_t first, std::size_t count,
                 ReadingsTable& to);

// Replaces list by the pieces of text between occurrences of delimiter (n delimiters give
// n + 1 pieces, empty ones included). An empty delimiter gives text as the one piece.
void SplitByDelimiter(std::string_view text, std::string_view delimiter,
                      std::vector<std::string>& list);

// The tab-separated text of the table, byte for byte as saved, times in `timeFormat`.
std::string writeTextTable(const ReadingsTable& table, const LongTimeFormat& timeFormat);
// The same bytes handed to `sink` in chunks of about a megabyte; false when the sink refused
// a chunk (nothing more is written).
bool writeTextTable(const ReadingsTable& table, const LongTimeFormat& timeFormat,
                    const ByteSink& sink);
// The longest line a text table may hold: a record line is six short cells.
inline constexpr std::size_t textMaxLineBytes = std::size_t{1} << 20;

// Appends the records of a tab-separated text. Fails at the first failing line (DamagedLine
// with its number and the byte where its failing cell starts, LineTooLong), or NotTextTable
// when the first line is no header; the records before stay. `consumed`, when given, is told
// now and then which bytes before an offset will not be read again; its false stops the
// read, which then fails (Cancelled).
LoadResult readTextTable(std::string_view bytes, ReadingsTable& table,
                         const LongTimeFormat& timeFormat, const ReleaseConsumed& consumed = {});

// The journal's form of the text lines: a time may also be in the journal's own form with
// milliseconds ("HH:MM:SS.mmm", see journalTimeText), and a line may carry a seventh cell,
// the record's test time in whole seconds (RecordFields::TestTime), written only when the
// record has one. Reads as readTextTable otherwise (every text table reads in this form too);
// a seventh cell that is no whole number >= 0 fails the line.
LoadResult readJournalTable(std::string_view bytes, ReadingsTable& table,
                            const LongTimeFormat& timeFormat, const ReleaseConsumed& consumed = {});

// True when the name's extension (from its last dot on) is ".xml" in any letter case.
bool isDataPacketName(std::string_view fileName);

}  // namespace ostrel
