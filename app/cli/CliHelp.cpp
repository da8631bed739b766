// Help and version texts of ostrel-cli, and the options every command understands.
#include "CliHelp.h"

#include <array>
#include <cstdio>

namespace ostrel::cli {

namespace {

struct CommandHelp {
  std::string_view name;
  bool takesOptions;  // parses its own options (and reports unknown ones itself)
  // The usage line, the same the command prints when its arguments are wrong, then what it
  // does.
  std::string_view text;
};

constexpr std::array<CommandHelp, 7> commands{{
    {"decode", false,
     "usage: ostrel-cli decode [FILE]\n"
     "Decodes a captured report stream into JSON Lines, one object per frame handed to the\n"
     "decoder (its reading texts and the mirror's lit elements). FILE holds one input report\n"
     "per line as hexadecimal byte pairs, report ID first; lines starting with # are comments.\n"
     "FILE missing or \"-\" reads standard input.\n"
     "Exit status: 0 done; 1 a read error; 2 a malformed line (named on standard error) or\n"
     "FILE cannot be opened.\n"},
    {"convert", false,
     "usage: ostrel-cli convert IN OUT\n"
     "Loads the table file IN as \"Open Data\" does and saves it to OUT as \"Save Data\" does.\n"
     "Each file's extension decides its format: .xml an XML data packet, .xlsx an Excel\n"
     "workbook (written only, never read), anything else (.xls, .txt) tab-separated text; IN\n"
     "may also be a recording journal the window wrote.\n"
     "OUT is replaced only by a complete new file.\n"
     "Exit status: 0 done; 1 IN cannot be loaded or OUT cannot be written (the message on\n"
     "standard error); 2 wrong usage.\n"},
    {"report", false,
     "usage: ostrel-cli report TABLEFILE OUT (OUT ending in .pdf, .html, .txt or .csv)\n"
     "Writes the test data report of a table file (or a recording journal) without a window,\n"
     "in the format OUT's extension names.\n"
     "Exit status: 0 done; 1 TABLEFILE cannot be loaded or OUT cannot be written; 2 wrong\n"
     "usage.\n"},
    {"chart", true,
     "usage: ostrel-cli chart TABLEFILE OUT (OUT ending in .bmp or .png) [--page N]\n"
     "                  [--per-page N] [--line]\n"
     "Draws the trend chart of a table file (or a recording journal) as the chart's bitmap\n"
     "save draws it, as .bmp or .png by OUT's extension.\n"
     "  --page N       the page to draw (default 1)\n"
     "  --per-page N   readings per page (default 100; 0 puts the whole table on one page)\n"
     "  --line         the line presentation instead of the filled one\n"
     "Exit status: 0 done; 1 no such page, TABLEFILE cannot be loaded or OUT cannot be\n"
     "written; 2 wrong usage.\n"},
    {"log", true,
     "usage: ostrel-cli log [--demo | --demo-frames FILE | --device PATH] "
     "[--out FILE|- [--append | --overwrite]] [--format text|jsonl] [--mqtt URL] [--limit N] "
     "[--interval S] [--no-repeat] [--fast N]\n"
     "Records readings from the cable without the window, one record as it comes: into FILE\n"
     "(one whole line per record, synced to the disk at least once a second), to standard\n"
     "output (--out -, a pipe or a terminal) and/or to an MQTT broker. Link events and the\n"
     "loss and return of the broker go to standard error. Ctrl+C or SIGTERM stops cleanly\n"
     "within two seconds, whatever the broker does.\n"
     "  --demo          use the virtual meter instead of a cable\n"
     "  --demo-frames FILE\n"
     "                  use the virtual meter playing the frames in FILE, over and over at\n"
     "                  the meter's pace: one frame per line in hexadecimal (22 bytes\n"
     "                  ending 0D 0A, blanks allowed; empty lines and lines starting\n"
     "                  with # skipped)\n"
     "  --device PATH   use the HID device at PATH (as listed by ostrel-cli devices)\n"
     "  --out FILE|-    the file to write, or - for standard output; an existing file that\n"
     "                  holds anything is refused unless --append or --overwrite is given\n"
     "  --append        continue FILE after its last whole record, numbering on; FILE must\n"
     "                  be a log of the same format and, for text, of this locale's time\n"
     "                  form (anything else is refused and left as it is)\n"
     "  --overwrite     replace what FILE holds\n"
     "  --format FORMAT text (the \"Save Data\" text table, the default) or jsonl (one JSON\n"
     "                  object per record, UTF-8: no, time, value, number, unit, function,\n"
     "                  mode, test_time_s, device)\n"
     "  --mqtt URL      publish each record as that JSON to PREFIX/readings (QoS 1) and a\n"
     "                  retained PREFIX/status online/offline; URL is\n"
     "                  mqtt://HOST[:PORT]/PREFIX or mqtts://... (the system's CA store;\n"
     "                  an IPv6 address in brackets: mqtt://[::1]/PREFIX); user from\n"
     "                  OSTREL_MQTT_USER, password from the file named by\n"
     "                  OSTREL_MQTT_PASSWORD_FILE (it must be readable) or from\n"
     "                  OSTREL_MQTT_PASSWORD\n"
     "  --limit N       record up to record number N (default 10000)\n"
     "  --interval S    record a reading at most every S seconds\n"
     "  --no-repeat     skip a reading whose value equals the last one recorded\n"
     "  --fast N        with --demo: the virtual meter's clock runs N times faster (1 to 60;\n"
     "                  its 10-minute timed test then lasts 10 minutes / N)\n"
     "Exit status: 0 stopped; 1 no cable found, the cable cannot be opened, FILE cannot be\n"
     "written or is refused, the password file cannot be read, or records were left unsent\n"
     "to the broker; 2 wrong usage (the option and the value at fault named).\n"},
    {"devices", false,
     "usage: ostrel-cli devices\n"
     "Lists the HID devices as the program sees them: the entry text, a tab, the device path;\n"
     "* marks the cable the program would select.\n"
     "Exit status: 0 listed (also none); 1 no HID support on this system; 2 wrong usage.\n"},
    {"tests", true,
     "usage: ostrel-cli tests TABLE [--json] [--temperature C] [--dar 60/30|60/15]\n"
     "                  [--minimum 100M|5M|kv1|N] [--rated-kv KV] [--thermal-class A|B|F|H]\n"
     "                  [--date YYYY-MM-DD]\n"
     "Finds the insulation tests in a table file (text or XML, or a recording journal, whose\n"
     "lines keep the meter's timer) and prints each test's figures and verdict: a readable\n"
     "table, or with --json one object per test.\n"
     "  --json              JSON: test, function, voltage_v, start, duration_s, readings,\n"
     "                      r15_ohm, r30_ohm, r60_ohm, r600_ohm, r60_40c_ohm, dar, pi,\n"
     "                      meter_pi, min_ohm, verdict, reasons (numbers or null)\n"
     "  --temperature C     winding temperature, -50 to 200 (\"20.5\" or \"20,5\"): R(1 min)\n"
     "                      is corrected to 40 \u00B0C\n"
     "  --dar 60/30|60/15   the DAR's readings (default 60/30)\n"
     "  --minimum CLASS     minimum R(1 min) at 40 \u00B0C: 100M (default), 5M, kv1 (rated kV\n"
     "                      + 1 M\u03A9, with --rated-kv) or a number of M\u03A9\n"
     "  --rated-kv KV       the machine's rated line-to-line voltage in kV, for kv1\n"
     "  --thermal-class C   A (PI at least 1.5) or B, F, H (PI at least 2.0; default B)\n"
     "  --date YYYY-MM-DD   the date of the table's first reading (default: worked out\n"
     "                      from the file's modification time); start then has the date\n"
     "Exit status: 0 done; 1 TABLE cannot be loaded; 2 wrong usage.\n"},
}};

const CommandHelp* findCommand(const std::string& name) {
  for (const CommandHelp& command : commands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

std::string_view usageLine(const CommandHelp& command) {
  return command.text.substr(0, command.text.find('\n') + 1);
}

}  // namespace

std::string versionLine() { return std::string("ostrel-cli ") + OSTREL_VERSION; }

const std::string_view programHelpDetails =
    "\n"
    "Every command runs the code of the Ostrel window program without a window;\n"
    "\"ostrel-cli COMMAND --help\" tells what it does.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit; after a command, that command's help\n"
    "      --version  show the version and exit\n"
    "A \"--\" among a command's arguments ends its options, so that a file name may start\n"
    "with \"-\".\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  the command failed (the reason on standard error)\n"
    "  2  wrong usage (the usage on standard error)\n";

std::optional<int> applyCommonOptions(const std::string& name, std::vector<std::string>& args) {
  const CommandHelp* command = findCommand(name);
  if (command == nullptr) return std::nullopt;
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      std::fwrite(command->text.data(), 1, command->text.size(), stdout);
      return 0;
    }
  }
  if (command->takesOptions) return std::nullopt;
  for (auto arg = args.begin(); arg != args.end(); ++arg) {
    if (*arg == "--") {
      args.erase(arg);
      break;
    }
    if (arg->size() > 1 && arg->front() == '-') {
      std::fprintf(stderr, "ostrel-cli %s: unknown option '%s'\n", name.c_str(), arg->c_str());
      const std::string_view usage = usageLine(*command);
      std::fwrite(usage.data(), 1, usage.size(), stderr);
      return 2;
    }
  }
  return std::nullopt;
}

}  // namespace ostrel::cli
