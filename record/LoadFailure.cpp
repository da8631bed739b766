#include "LoadFailure.h"

#include <utility>

#include "DataPacket.h"
#include "TableFiles.h"

namespace ostrel {

namespace {

std::string atByte(std::size_t offset) { return "byte " + std::to_string(offset); }

std::string megabytes(std::size_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

}  // namespace

std::string loadFailureText(const LoadFailure& failure) {
  switch (failure.kind) {
    case LoadFailureKind::None:
      return {};
    case LoadFailureKind::NoSuchFile:
      return "no such file";
    case LoadFailureKind::Folder:
      return "a folder";
    case LoadFailureKind::Fifo:
      return "a FIFO";
    case LoadFailureKind::Device:
      return "a device";
    case LoadFailureKind::Socket:
      return "a socket";
    case LoadFailureKind::Unreadable:
      return failure.detail;
    case LoadFailureKind::Empty:
      return "empty";
    case LoadFailureKind::Workbook:
      return "a workbook (written only, never read)";
    case LoadFailureKind::NotTextTable:
      return "not a text table";
    case LoadFailureKind::DamagedLine:
      return "damaged at line " + std::to_string(failure.line) + " (" + atByte(failure.offset) +
             ")";
    case LoadFailureKind::LineTooLong:
      return "line " + std::to_string(failure.line) + " is longer than " +
             megabytes(textMaxLineBytes) + " (" + atByte(failure.offset) + ")";
    case LoadFailureKind::BrokenXml:
      return failure.detail + " at " + atByte(failure.offset);
    case LoadFailureKind::NotDataPacket:
      return failure.detail.empty() ? "not a data packet" : "not a data packet: " + failure.detail;
    case LoadFailureKind::DamagedRow:
      return "damaged row at " + atByte(failure.offset) + " (a value that does not fit its field)";
    case LoadFailureKind::TooLargeToParse:
      return "a packet of a shape that is read whole, larger than " +
             megabytes(packetWholeParseLimit);
    case LoadFailureKind::CutShort:
      return "cut short while it was read";
    case LoadFailureKind::Cancelled:
      return "cancelled";
  }
  return {};
}

LoadResult LoadResult::failed(LoadFailure failure) {
  const Outcome outcome =
      failure.kind == LoadFailureKind::Cancelled ? Outcome::Cancelled : Outcome::Failed;
  return {Result<>::as(outcome, std::string(loadFailedMessage)), std::move(failure)};
}

LoadResult LoadResult::failed(LoadFailureKind kind, std::size_t line, std::size_t offset,
                              std::string detail) {
  return failed(LoadFailure{kind, line, offset, std::move(detail)});
}

}  // namespace ostrel
