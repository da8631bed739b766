// ostrel-cli: the command-line companion of the program. Every command runs the same
// code as the window does; see README.md for what each one is for.
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "CliCommands.h"
#include "CliHelp.h"
#include "record/FileReplace.h"

namespace {

constexpr std::string_view usage =
    "usage: ostrel-cli COMMAND [ARGS]\n"
    "  decode [FILE]            decode a captured report stream to JSON Lines\n"
    "  convert IN OUT           convert a table file (.xls/.txt text, .xml packet,\n"
    "                           .xlsx workbook as OUT only)\n"
    "  report TABLEFILE OUT     write the test data report (.pdf, .html, .txt, .csv)\n"
    "  log [--demo | --demo-frames FILE | --device PATH] --out FILE|-\n"
    "      [--append | --overwrite] [--format text|jsonl] [--mqtt URL] [--limit N]\n"
    "      [--interval S] [--no-repeat]\n"
    "                           record readings from the cable to a table file or a\n"
    "                           JSON Lines stream, and to an MQTT broker\n"
    "  devices                  list the HID devices as the program sees them\n"
    "  chart TABLEFILE OUT [--page N] [--per-page N] [--line]\n"
    "                           draw the trend chart of a table file (.bmp, .png)\n"
    "  tests TABLE [--json] [--temperature C] [--dar 60/30|60/15] [--minimum 100M|5M|kv1|N]\n"
    "        [--thermal-class A|B|F|H]\n"
    "                           find the insulation tests of a table, their figures and\n"
    "                           verdicts\n";

}  // namespace

int main(int argc, char** argv) {
  // A write beyond a file size limit (ulimit -f) fails with EFBIG like a full disk, and the
  // command reports it, keeps the old file and removes its temporary one; the signal's
  // default would end the process in the middle of the write instead.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc < 2) {
    std::fputs(usage.data(), stderr);
    return 2;
  }
  const std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (const auto status = ostrel::cli::applyCommonOptions(command, args)) return *status;
  // The commands that replace a file: a stop signal in the middle of a write removes the
  // temporary file and ends the process as the signal would (the old file stays). log
  // handles these signals itself to stop cleanly.
  if (command == "convert" || command == "report" || command == "chart") {
    ostrel::removeReplacementFilesOnStopSignals();
  }
  if (command == "decode") return ostrel::cli::runDecode(args);
  if (command == "convert") return ostrel::cli::runConvert(args);
  if (command == "report") return ostrel::cli::runReport(args);
  if (command == "log") return ostrel::cli::runLog(args);
  if (command == "devices") return ostrel::cli::runDevices(args);
  if (command == "chart") return ostrel::cli::runChart(args);
  if (command == "tests") return ostrel::cli::runTests(args);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(usage.data(), stdout);
    std::fputs(ostrel::cli::programHelpDetails.data(), stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("%s\n", ostrel::cli::versionLine().c_str());
    return 0;
  }
  std::fprintf(stderr, "ostrel-cli: unknown command '%s'\n%s", command.c_str(), usage.data());
  return 2;
}
