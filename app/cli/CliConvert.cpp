// ostrel-cli convert IN OUT: loads IN into an empty table as "Open Data" does (a recording
// journal too) and saves it to OUT as "Save Data" does; each file's extension decides its
// format.
#include <cstdio>

#include "CliCommands.h"
#include "CliLoadFailure.h"
#include "decode/DecimalSeparator.h"
#include "record/ReadingsTable.h"
#include "record/TableFiles.h"

namespace ostrel::cli {

int runConvert(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::fputs("usage: ostrel-cli convert IN OUT\n", stderr);
    return 2;
  }
  ReadingsTable table;
  if (!loadTableForCommand(args[0], table).ok()) return 1;
  const Result<> saved = SaveTableToFile(table, args[1], decimalSeparatorFromLocale());
  if (!saved.ok()) {
    std::fprintf(stderr, "%s\n", saved.message().c_str());
    return 1;
  }
  return 0;
}

}  // namespace ostrel::cli
