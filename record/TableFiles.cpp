#include "TableFiles.h"

#include <algorithm>

#include "DataPacket.h"
#include "FileBytes.h"
#include "FileNames.h"
#include "FileReplace.h"
#include "WorkbookFile.h"

namespace ostrel {

namespace {

// A NUL byte where a file's first line (a text table's header) or a data packet begins: the
// file holds no table, whatever its size (a sparse file of a gigabyte, say), and is refused
// before a loader walks through all of it. (A NUL in a later text line ends the load there,
// keeping the records before it; a data packet cannot hold one anywhere.)
constexpr std::size_t nulProbe = 4096;

bool headerWithoutNul(std::string_view bytes) {
  const std::string_view head = bytes.substr(0, nulProbe);
  return head.substr(0, head.find_first_of("\r\n")).find('\0') == std::string_view::npos;
}

// Where the first NUL byte of a packet's start is; npos when there is none.
std::size_t nulInStart(std::string_view bytes) { return bytes.substr(0, nulProbe).find('\0'); }

// The file opened for a load; fails for an empty one too (no table, not even a header).
LoadResult openForLoad(const std::string& fileName, FileBytes& file) {
  LoadResult opened = file.open(fileName);
  if (opened.ok() && file.bytes().empty()) return LoadResult::failed(LoadFailureKind::Empty);
  return opened;
}

// A reader's result once the file was read: a file cut short under the reader failed, whatever
// the reader made of it (what it read is not the file's content).
LoadResult checkedIntact(const FileBytes& file, LoadResult read) {
  if (!file.intact() && !read.cancelled()) {
    return LoadResult::failed(LoadFailureKind::CutShort, 0, file.bytes().size());
  }
  return read;
}

// Why the table cannot be saved in the format so that it loads back the same; empty when
// it can. Neither format can carry a NUL byte (the loaders refuse it), and a text line
// needs a number and a time to load (an empty or "NULL" cell fails it).
std::string unwritableReason(const ReadingsTable& table, bool packet) {
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    if (!packet && (!table.no(row) || !table.timeMs(row))) {
      return "Record " + std::to_string(row + 1) + " has no number or no time";
    }
    for (const auto field : {ReadingsTable::Value, ReadingsTable::Unit, ReadingsTable::V_Range,
                             ReadingsTable::I_Range}) {
      const auto text = table.text(row, field);
      if (text && text->find('\0') != std::string_view::npos) {
        return "Record " + std::to_string(row + 1) + " holds a NUL byte";
      }
    }
  }
  return {};
}

// The save's message for a failure (or, with the same text, a cancel) whose reason is given.
Result<> saveFailed(const std::string& fileName, bool packet, const Result<>& written) {
  const Outcome outcome = written.cancelled() ? Outcome::Cancelled : Outcome::Failed;
  if (packet) {
    return Result<>::as(outcome, "Cannot create file \"" + fileName + "\". " + written.message());
  }
  return Result<>::as(outcome, "Could not save table to specified file: " + fileName);
}

Result<> saved(const std::string& fileName) {
  return Result<>::done("Save table to specified file: " + fileName + " Scuss!");
}

// Bytes a record takes in a file, about: for the progress of a save.
constexpr std::size_t expectedTextBytes = 52;
constexpr std::size_t expectedPacketBytes = 150;
constexpr const char* cancelledReason = "Cancelled";

// The file's reader's callback: lets consumed pages go and tells the progress.
ReleaseConsumed releaseWithProgress(FileBytes& file, FileProgress progress) {
  if (!progress) return file.releaser();
  return [&file, progress = std::move(progress)](std::size_t offset) {
    file.release(offset);
    return progress(offset, file.bytes().size());
  };
}

// Tells the progress that the whole is done, so that it ends at 100 % however far the size
// expected from the first records was off, or however far the last step of the reader was from
// the end. Its answer is not asked for: a Cancel from here on comes after the whole file was
// written or read.
void reportWhole(const FileProgress& progress, std::size_t whole) {
  if (progress) static_cast<void>(progress(whole, whole));
}

// Writes the table's file straight to the replacement file, a chunk at a time, so that a
// table of any size is saved without a second copy of it in memory. On failure the system's
// reason, or cancelled (the old file then stays as it was).
Result<> writeTableFile(const ReadingsTable& table, const std::string& fileName, bool packet,
                        const FileProgress& progress) {
  FileReplacement replacement;
  Result<> result = replacement.begin(fileName);
  if (!result.ok()) return result;
  // The size expected from the first records written, for the progress only.
  const std::size_t records = table.recordCount();
  std::size_t sent = 0;
  const ByteSink toFile = [&](std::string_view chunk) {
    result = replacement.write(chunk);
    sent += chunk.size();
    if (result.ok() && progress) {
      const std::size_t perRecord = packet ? expectedPacketBytes : expectedTextBytes;
      if (!progress(sent, std::max(sent, records * perRecord))) {
        result = Result<>::cancel(cancelledReason);
      }
    }
    return result.ok();
  };
  const bool written = packet ? writeDataPacket(table, toFile)
                              : writeTextTable(table, LongTimeFormat::fromEnvironment(), toFile);
  if (!written) return result;
  reportWhole(progress, sent);
  return replacement.commit();
}

LoadResult loadDataPacket(const std::string& fileName, ReadingsTable& table,
                          const FileProgress& progress) {
  FileBytes file;
  if (LoadResult opened = openForLoad(fileName, file); !opened.ok()) return opened;
  if (const std::size_t nul = nulInStart(file.bytes()); nul != std::string_view::npos) {
    return LoadResult::failed(LoadFailureKind::NotDataPacket, 0, nul,
                              "a NUL byte at byte " + std::to_string(nul));
  }
  ReadingsTable loaded;
  LoadResult read = checkedIntact(
      file, readDataPacket(file.bytes(), loaded, releaseWithProgress(file, progress)));
  if (read.ok()) {
    reportWhole(progress, file.bytes().size());
    table.swapRecords(loaded);
  }
  return read;
}

LoadResult loadTextTable(const std::string& fileName, ReadingsTable& table,
                         const FileProgress& progress, TextForms forms) {
  FileBytes file;
  if (LoadResult opened = openForLoad(fileName, file); !opened.ok()) return opened;
  if (!headerWithoutNul(file.bytes())) return LoadResult::failed(LoadFailureKind::NotTextTable);
  table.DisableControls();
  const std::size_t before = table.recordCount();
  const LongTimeFormat& timeFormat = LongTimeFormat::fromEnvironment();
  const ReleaseConsumed consumed = releaseWithProgress(file, progress);
  LoadResult read =
      checkedIntact(file, forms == TextForms::TableOrJournal
                              ? readJournalTable(file.bytes(), table, timeFormat, consumed)
                              : readTextTable(file.bytes(), table, timeFormat, consumed));
  // A file cut short under the reader, or a cancelled load: nothing of it stays. (A damaged
  // line keeps the records of the lines before it.)
  const LoadFailureKind kind = read.failure().kind;
  if (kind == LoadFailureKind::CutShort || kind == LoadFailureKind::Cancelled) {
    table.truncate(before);
  }
  table.EnableControls();
  if (read.ok()) reportWhole(progress, file.bytes().size());
  return read;
}

Result<> saveWorkbook(ReadingsTable& table, const std::string& fileName,
                      std::string_view decimalSeparator, const WorkbookTests& tests,
                      const FileProgress& progress) {
  table.DisableControls();
  const Result<> written = writeWorkbook(table, fileName, decimalSeparator, tests, progress);
  table.EnableControls();
  if (written.ok()) return saved(fileName);
  return Result<>::as(written.outcome(), "Could not save table to specified file: " + fileName +
                                             "\n" + written.message());
}

}  // namespace

bool isDataPacketName(std::string_view fileName) { return hasExtension(fileName, ".xml"); }

Result<> SaveTableToFile(ReadingsTable& table, const std::string& fileName,
                         std::string_view decimalSeparator, const WorkbookTests& tests,
                         const FileProgress& progress) {
  if (isWorkbookName(fileName)) {
    return saveWorkbook(table, fileName, decimalSeparator, tests, progress);
  }
  const bool packet = isDataPacketName(fileName);
  if (const std::string reason = unwritableReason(table, packet); !reason.empty()) {
    return saveFailed(fileName, packet, Result<>::failure(reason));
  }
  table.DisableControls();
  const Result<> written = writeTableFile(table, fileName, packet, progress);
  table.EnableControls();
  if (written.ok()) return saved(fileName);
  return saveFailed(fileName, packet, written);
}

LoadResult LoadTableFromFile(const std::string& fileName, ReadingsTable& table, bool EmptyFirst,
                             const FileProgress& progress, TextForms forms) {
  if (EmptyFirst) table.clear();
  if (isWorkbookName(fileName)) return LoadResult::failed(LoadFailureKind::Workbook);
  return isDataPacketName(fileName) ? loadDataPacket(fileName, table, progress)
                                    : loadTextTable(fileName, table, progress, forms);
}

void copyRecords(const ReadingsTable& from, std::size_t first, std::size_t count,
                 ReadingsTable& to) {
  const std::size_t end = std::min(from.recordCount(), first + count);
  for (std::size_t row = first; row < end; ++row) {
    to.appendView({from.no(row), from.timeMs(row), from.text(row, ReadingsTable::Value),
                   from.text(row, ReadingsTable::Unit), from.text(row, ReadingsTable::V_Range),
                   from.text(row, ReadingsTable::I_Range), from.testTimeS(row)},
                  from.changeState(row));
  }
}

void SplitByDelimiter(std::string_view text, std::string_view delimiter,
                      std::vector<std::string>& list) {
  list.clear();
  if (delimiter.empty()) {
    list.emplace_back(text);
    return;
  }
  for (;;) {
    const std::size_t at = text.find(delimiter);
    if (at == std::string_view::npos) {
      list.emplace_back(text);
      return;
    }
    list.emplace_back(text.substr(0, at));
    text.remove_prefix(at + delimiter.size());
  }
}

}  // namespace ostrel
