#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"

namespace ostrel::cli {

// ostrel-cli log's usage line, printed with every usage error.
inline constexpr const char* logUsage =
    "usage: ostrel-cli log [--demo | --demo-frames FILE | --device PATH] "
    "[--out FILE|- [--append | --overwrite]] [--format text|jsonl] [--mqtt URL] [--limit N] "
    "[--interval S] [--no-repeat] [--fast N]\n";

enum class LogFormat { Text, JsonLines };

struct LogOptions {
  bool demo = false;
  std::string demoFrames;  // the virtual meter's frames come from this file
  std::string devicePath;
  std::string outFile;  // "-": standard output
  bool append = false;
  bool overwrite = false;
  LogFormat format = LogFormat::Text;
  std::string mqtt;
  std::optional<std::int32_t> limit;
  std::optional<std::string> interval;
  bool noRepeat = false;
  std::optional<int> fast;  // the virtual meter's clock speed (--demo only)
};

// The options of ostrel-cli log, or what is wrong with them: the option and the value given
// when a value is wrong, the option that lacks its value, the option unknown, or the options
// that do not go together.
Result<LogOptions> parseLogOptions(const std::vector<std::string>& args);

}  // namespace ostrel::cli
