// The command line of ostrel-cli log.
#include "CliLogOptions.h"

#include <cstdint>
#include <exception>

#include "sim/meter/MeterScript.h"

namespace ostrel::cli {

namespace {

bool parsePositive(const std::string& text, std::int32_t& value) {
  if (text.empty() || text.front() < '0' || text.front() > '9') return false;
  try {
    std::size_t used = 0;
    const long parsed = std::stol(text, &used);
    if (used != text.size() || parsed < 1 || parsed > INT32_MAX) return false;
    value = static_cast<std::int32_t>(parsed);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

Result<LogOptions> badValue(const std::string& option, const std::string& value,
                            const char* expected) {
  return Result<LogOptions>::failure("bad value for " + option + ": '" + value + "' (" + expected +
                                     ")");
}

}  // namespace

Result<LogOptions> parseLogOptions(const std::vector<std::string>& args) {
  using Parsed = Result<LogOptions>;
  LogOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--demo") {
      options.demo = true;
      continue;
    }
    if (arg == "--no-repeat") {
      options.noRepeat = true;
      continue;
    }
    if (arg == "--append") {
      options.append = true;
      continue;
    }
    if (arg == "--overwrite") {
      options.overwrite = true;
      continue;
    }
    const bool takesValue = arg == "--demo-frames" || arg == "--device" || arg == "--out" ||
                            arg == "--mqtt" || arg == "--format" || arg == "--limit" ||
                            arg == "--interval" || arg == "--fast";
    if (!takesValue) return Parsed::failure("unknown option '" + arg + "'");
    if (i + 1 >= args.size()) return Parsed::failure(arg + " needs a value");
    const std::string& value = args[++i];
    if (arg == "--demo-frames") {
      options.demo = true;
      options.demoFrames = value;
    } else if (arg == "--device") {
      options.devicePath = value;
    } else if (arg == "--out") {
      options.outFile = value;
    } else if (arg == "--mqtt") {
      options.mqtt = value;
    } else if (arg == "--format") {
      if (value == "text") {
        options.format = LogFormat::Text;
      } else if (value == "jsonl") {
        options.format = LogFormat::JsonLines;
      } else {
        return badValue(arg, value, "text or jsonl");
      }
    } else if (arg == "--limit") {
      std::int32_t limit = 0;
      if (!parsePositive(value, limit)) return badValue(arg, value, "a whole number from 1");
      options.limit = limit;
    } else if (arg == "--fast") {
      options.fast = sim::clockSpeedFromText(value);
      if (!options.fast) {
        return badValue(arg, value,
                        ("a whole number from 1 to " + std::to_string(sim::maxClockSpeed)).c_str());
      }
    } else {  // --interval
      std::int32_t seconds = 0;
      if (!parsePositive(value, seconds)) {
        return badValue(arg, value, "a whole number of seconds from 1");
      }
      options.interval = std::to_string(seconds);
    }
  }
  if (options.outFile.empty() && options.mqtt.empty()) {
    return Parsed::failure("give --out FILE, --out - or --mqtt URL");
  }
  if (options.demo && !options.devicePath.empty()) {
    return Parsed::failure("--device does not go with --demo or --demo-frames");
  }
  // Only the virtual meter's own demonstration has a clock; a frame file plays as it is.
  if (options.fast && (!options.demo || !options.demoFrames.empty())) {
    return Parsed::failure("--fast goes with --demo only");
  }
  if (options.append && options.overwrite) {
    return Parsed::failure("--append and --overwrite do not go together");
  }
  if ((options.append || options.overwrite) &&
      (options.outFile.empty() || options.outFile == "-")) {
    return Parsed::failure(std::string(options.append ? "--append" : "--overwrite") +
                           " needs --out FILE");
  }
  return options;
}

}  // namespace ostrel::cli
