#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::cli {

// "ostrel-cli <version>", the first line of --version (the form help2man reads).
std::string versionLine();

// What ostrel-cli --help prints after the list of commands: the general options and the
// exit statuses.
extern const std::string_view programHelpDetails;

// The conventions every command shares, applied before it runs. In args (the arguments
// after the command's name):
// - "--help" or "-h" anywhere prints the command's help to standard output: status 0;
// - for the commands without options (all but log, whose own parser checks them), an
//   argument starting with "-" other than "-" alone is an unknown option: a message and
//   the command's usage go to standard error, status 2; a "--" ends the options and is
//   removed from args, so a file name may start with "-".
// nullopt when the command is to run with args; also for an unknown command, which the
// caller reports.
std::optional<int> applyCommonOptions(const std::string& command, std::vector<std::string>& args);

}  // namespace ostrel::cli
