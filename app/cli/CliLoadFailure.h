#pragma once

#include <string>

#include "record/TableFiles.h"

namespace ostrel::cli {

// Loads a table file as the commands do: a text table, a data packet, or a recording journal
// the window wrote (see TextForms), into an empty table. On failure prints "Failed to Load
// File!" and, on the next line, "PATH: reason" (the reason the load found, see LoadFailure.h)
// to standard error.
LoadResult loadTableForCommand(const std::string& path, ReadingsTable& table);

}  // namespace ostrel::cli
