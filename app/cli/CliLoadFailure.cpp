#include "CliLoadFailure.h"

#include <cstdio>

namespace ostrel::cli {

LoadResult loadTableForCommand(const std::string& path, ReadingsTable& table) {
  LoadResult loaded = LoadTableFromFile(path, table, true, {}, TextForms::TableOrJournal);
  if (!loaded.ok()) {
    std::fprintf(stderr, "%s\n%s: %s\n", loadFailedMessage.data(), path.c_str(),
                 loaded.reason().c_str());
  }
  return loaded;
}

}  // namespace ostrel::cli
