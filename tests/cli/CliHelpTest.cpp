// ostrel-cli's --help, --version and unknown options, run as a separate process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/ChildProcess.h"

namespace {

using ostrel::test::ChildResult;

// Runs ostrel-cli with these arguments, standard input from /dev/null.
ChildResult run(const std::vector<std::string>& arguments) {
  return ostrel::test::runProgram(OSTREL_CLI_PATH, arguments);
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n') + 1); }

TEST(CliHelp, ProgramHelpAndVersionGoToStandardOutput) {
  for (const char* option : {"--help", "-h"}) {
    const ChildResult help = run({option});
    EXPECT_EQ(help.exitCode, 0) << option;
    EXPECT_EQ(help.err, "") << option;
    EXPECT_EQ(firstLine(help.out), "usage: ostrel-cli COMMAND [ARGS]\n") << option;
    for (const char* command : {"decode", "convert", "report", "log", "devices", "--version"}) {
      EXPECT_NE(help.out.find(command), std::string::npos) << command;
    }
  }
  const ChildResult version = run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, std::string("ostrel-cli ") + OSTREL_VERSION + "\n");
  EXPECT_EQ(version.err, "");
}

// Each command's wrong usage, and the usage line it prints for it on standard error.
struct CommandCase {
  const char* command;
  std::vector<std::string> wrongArguments;
};
void PrintTo(const CommandCase& c, std::ostream* out) { *out << c.command; }

// The command, its wrong arguments, then `more`.
std::vector<std::string> misuse(const CommandCase& c, const std::vector<std::string>& more = {}) {
  std::vector<std::string> arguments{c.command};
  arguments.insert(arguments.end(), c.wrongArguments.begin(), c.wrongArguments.end());
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

class CommandHelp : public testing::TestWithParam<CommandCase> {};

TEST_P(CommandHelp, HelpStartsWithTheUsageTheCommandShowsWhenMisused) {
  const CommandCase c = GetParam();
  const ChildResult misused = run(misuse(c));
  EXPECT_EQ(misused.exitCode, 2);
  EXPECT_EQ(misused.out, "");
  const std::string usage = misused.err.substr(misused.err.find("usage: "));
  EXPECT_EQ(usage, firstLine(usage)) << "the usage is the last line: " << misused.err;

  for (const char* option : {"--help", "-h"}) {
    const ChildResult help = run({c.command, option});
    EXPECT_EQ(help.exitCode, 0) << option;
    EXPECT_EQ(help.err, "") << option;
    EXPECT_EQ(firstLine(help.out), usage) << option;
    EXPECT_NE(help.out.find("Exit status:"), std::string::npos) << option;
  }
  // --help wins wherever it stands, also after arguments that would fail.
  const ChildResult late = run(misuse(c, {"--help"}));
  EXPECT_EQ(late.exitCode, 0);
  EXPECT_EQ(firstLine(late.out), usage);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandHelp,
    testing::Values(CommandCase{"decode", {"--bogus"}}, CommandCase{"convert", {"in.xls"}},
                    CommandCase{"report", {"in.xls", "out.pdf", "extra"}},
                    CommandCase{"log", {"--bogus"}}, CommandCase{"devices", {"-x"}}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.command); });

TEST(CliHelp, UnknownOptionsAreUsageErrorsAndDoubleDashEndsOptions) {
  const ChildResult unknown = run({"convert", "--force", "in.xls", "out.xml"});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_EQ(unknown.err,
            "ostrel-cli convert: unknown option '--force'\nusage: ostrel-cli convert IN OUT\n");

  // "-" is standard input, no option; after "--" a name starting with "-" is a file.
  EXPECT_EQ(run({"decode", "-"}).exitCode, 0);
  const ChildResult dashFile = run({"decode", "--", "-missing-file"});
  EXPECT_EQ(dashFile.exitCode, 2);
  EXPECT_EQ(dashFile.err, "ostrel-cli decode: cannot open '-missing-file'\n");

  const ChildResult command = run({"--bogus"});
  EXPECT_EQ(command.exitCode, 2);
  EXPECT_EQ(command.out, "");
  EXPECT_EQ(firstLine(command.err), "ostrel-cli: unknown command '--bogus'\n");
  EXPECT_NE(command.err.find("usage: ostrel-cli COMMAND [ARGS]\n"), std::string::npos);
}

}  // namespace
