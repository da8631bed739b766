// ostrel-cli's --help, --version and unknown options, run as a separate process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs ostrel-cli with a shell-quoted argument text, standard input from /dev/null.
CliRun run(const std::string& arguments) {
  char errFile[] = "/tmp/ostrel-cli-help-XXXXXX";
  ::close(::mkstemp(errFile));
  const std::string command =
      std::string("'") + OSTREL_CLI_PATH + "' " + arguments + " </dev/null 2>'" + errFile + "'";
  CliRun result{};
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) result.out += buffer;
  result.status = WEXITSTATUS(::pclose(pipe));
  result.err = readFile(errFile);
  std::remove(errFile);
  return result;
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n') + 1); }

TEST(CliHelp, ProgramHelpAndVersionGoToStandardOutput) {
  for (const char* option : {"--help", "-h"}) {
    const CliRun help = run(option);
    EXPECT_EQ(help.status, 0) << option;
    EXPECT_EQ(help.err, "") << option;
    EXPECT_EQ(firstLine(help.out), "usage: ostrel-cli COMMAND [ARGS]\n") << option;
    for (const char* command : {"decode", "convert", "report", "log", "devices", "--version"}) {
      EXPECT_NE(help.out.find(command), std::string::npos) << command;
    }
  }
  const CliRun version = run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("ostrel-cli ") + OSTREL_VERSION + "\n");
  EXPECT_EQ(version.err, "");
}

// Each command's wrong usage, and the usage line it prints for it on standard error.
struct CommandCase {
  const char* command;
  const char* wrongArguments;
};

class CommandHelp : public testing::TestWithParam<CommandCase> {};

TEST_P(CommandHelp, HelpStartsWithTheUsageTheCommandShowsWhenMisused) {
  const CommandCase c = GetParam();
  const CliRun misused = run(std::string(c.command) + " " + c.wrongArguments);
  EXPECT_EQ(misused.status, 2);
  EXPECT_EQ(misused.out, "");
  const std::string usage = misused.err.substr(misused.err.find("usage: "));
  EXPECT_EQ(usage, firstLine(usage)) << "the usage is the last line: " << misused.err;

  for (const char* option : {"--help", "-h"}) {
    const CliRun help = run(std::string(c.command) + " " + option);
    EXPECT_EQ(help.status, 0) << option;
    EXPECT_EQ(help.err, "") << option;
    EXPECT_EQ(firstLine(help.out), usage) << option;
    EXPECT_NE(help.out.find("Exit status:"), std::string::npos) << option;
  }
  // --help wins wherever it stands, also after arguments that would fail.
  const CliRun late = run(std::string(c.command) + " " + c.wrongArguments + " --help");
  EXPECT_EQ(late.status, 0);
  EXPECT_EQ(firstLine(late.out), usage);
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandHelp,
                         testing::Values(CommandCase{"decode", "--bogus"},
                                         CommandCase{"convert", "in.xls"},
                                         CommandCase{"report", "in.xls out.pdf extra"},
                                         CommandCase{"log", "--bogus"},
                                         CommandCase{"devices", "-x"}),
                         [](const auto& info) { return std::string(info.param.command); });

TEST(CliHelp, UnknownOptionsAreUsageErrorsAndDoubleDashEndsOptions) {
  const CliRun unknown = run("convert --force in.xls out.xml");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err,
            "ostrel-cli convert: unknown option '--force'\nusage: ostrel-cli convert IN OUT\n");

  // "-" is standard input, no option; after "--" a name starting with "-" is a file.
  EXPECT_EQ(run("decode -").status, 0);
  const CliRun dashFile = run("decode -- -missing-file");
  EXPECT_EQ(dashFile.status, 2);
  EXPECT_EQ(dashFile.err, "ostrel-cli decode: cannot open '-missing-file'\n");

  const CliRun command = run("--bogus");
  EXPECT_EQ(command.status, 2);
  EXPECT_EQ(command.out, "");
  EXPECT_EQ(firstLine(command.err), "ostrel-cli: unknown command '--bogus'\n");
  EXPECT_NE(command.err.find("usage: ostrel-cli COMMAND [ARGS]\n"), std::string::npos);
}

}  // namespace
