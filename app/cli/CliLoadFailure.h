#pragma once

#include <string>

#include "record/ReadingsTable.h"

namespace ostrel::cli {

// Why a table file could not be loaded, for a command's standard error (the window keeps its
// one message, "Failed to Load File!"): "no such file", "a folder", "a FIFO", "a device",
// "a socket", the system's reason when it cannot be read, "empty", "a workbook (written
// only, never read)", for a data packet the XML parser's reason with its byte offset or "not
// a data packet", for text "damaged at line N". Called after the load failed, with the table
// it loaded into, which was empty before: a text file's records before its failing line stay
// in it, which gives the line.
std::string loadFailureReason(const std::string& path, const ReadingsTable& partlyLoaded);

// Prints "Failed to Load File!" and, on the next line, "PATH: reason" to standard error.
void printLoadFailure(const std::string& path, const ReadingsTable& partlyLoaded);

}  // namespace ostrel::cli
