#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace ostrel {

// The message of every failed load, the window's fixed text.
inline constexpr std::string_view loadFailedMessage = "Failed to Load File!";

// Why a table file did not load, as found by whoever found it (the file's opening, a reader
// at a line or byte), so that nobody has to read the file again to explain a failure.
enum class LoadFailureKind {
  None,             // no failure
  NoSuchFile,       // the name names nothing
  Folder,           // no regular file: a folder,
  Fifo,             // a FIFO,
  Device,           // a character or block device,
  Socket,           // anything else (a socket)
  Unreadable,       // the system refused to open or read it (detail: its reason)
  Empty,            // a file of no bytes
  Workbook,         // a workbook (".xlsx"), written only, never read
  NotTextTable,     // text whose first line is no table's header (one line of no titles, a NUL)
  DamagedLine,      // text: the line at `line` reads as no record
  LineTooLong,      // text: the line at `line` is longer than any table line
  BrokenXml,        // packet: the XML parser's reason (detail) at `offset`
  NotDataPacket,    // packet: well-formed XML but no packet of the table (detail: what lacks)
  DamagedRow,       // packet: a row at `offset` holds a value that does not fit its field
  TooLargeToParse,  // packet of a shape that is read whole, larger than the limit for that
  CutShort,         // the file became shorter while it was read
  Cancelled,        // the load's progress callback said stop
};

struct LoadFailure {
  LoadFailureKind kind = LoadFailureKind::None;
  std::size_t line = 0;    // text: the failing line, the header being line 1; else 0
  std::size_t offset = 0;  // the byte in the file where it went wrong (where the kind has one)
  std::string detail;      // the system's or the XML parser's words, where the kind has them
};

// The reason in words, for a command's standard error and the line under the window's
// message: "no such file", "a folder", "a FIFO", "a device", "a socket", the system's reason,
// "empty", "a workbook (written only, never read)", "not a text table", "damaged at line N
// (byte B)", "line N is longer than 1 MB (byte B)", "<the XML parser's reason> at byte B",
// "not a data packet" (": what it lacks"), "damaged row at byte B (a value that does not fit
// its field)", "a packet of a shape that is read whole, larger than 16 MB", "cut short while
// it was read", "cancelled". Empty for None.
std::string loadFailureText(const LoadFailure& failure);

// A load's or a table reader's result: done, or failed (cancelled for the kind Cancelled)
// with the message "Failed to Load File!" and the failure that says why. Is a Result<>, so it
// is handled like any other.
class [[nodiscard]] LoadResult : public Result<> {
 public:
  LoadResult() = default;
  static LoadResult failed(LoadFailure failure);
  static LoadResult failed(LoadFailureKind kind, std::size_t line = 0, std::size_t offset = 0,
                           std::string detail = {});

  // Kind None when done.
  [[nodiscard]] const LoadFailure& failure() const { return m_failure; }
  // loadFailureText(failure()).
  [[nodiscard]] std::string reason() const { return loadFailureText(m_failure); }

 private:
  LoadResult(Result<> result, LoadFailure failure)
      : Result<>(std::move(result)), m_failure(std::move(failure)) {}

  LoadFailure m_failure;
};

}  // namespace ostrel
