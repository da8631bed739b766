#include <cstdio>

#include "CliCommands.h"

namespace ostrel::cli {

int runLog(const std::vector<std::string>& /*args*/) {
  std::fputs("ostrel-cli log: not available in this build\n", stderr);
  return 2;
}

}  // namespace ostrel::cli
