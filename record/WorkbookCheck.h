#pragma once

#include <cstddef>
#include <string>

#include "base/Result.h"

namespace ostrel {

// Reads back a finished workbook archive before it replaces anything: the workbook library
// does not check its own writes to the temporary files it builds the members from, so a
// full disk or a file size limit can leave it with a short or empty member and no error.
// Every member is inflated and checked against its recorded size and CRC; every XML member
// must be a whole, well-formed XML document; the worksheet "xl/worksheets/sheet1.xml" must
// hold exactly `sheetRows` rows that have a cell. Each member is streamed, a chunk at a time,
// so that the check takes a few hundred kilobytes of memory whatever the members' sizes.
// Fails with what is wrong.
Result<> checkWorkbookArchive(const std::string& path, std::size_t sheetRows);

}  // namespace ostrel
