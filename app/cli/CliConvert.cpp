#include <cstdio>

#include "CliCommands.h"

namespace ostrel::cli {

int runConvert(const std::vector<std::string>& /*args*/) {
  std::fputs("ostrel-cli convert: not available in this build\n", stderr);
  return 2;
}

}  // namespace ostrel::cli
