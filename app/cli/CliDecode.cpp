#include <cstdio>

#include "CliCommands.h"

namespace ostrel::cli {

int runDecode(const std::vector<std::string>& /*args*/) {
  std::fputs("ostrel-cli decode: not available in this build\n", stderr);
  return 2;
}

}  // namespace ostrel::cli
