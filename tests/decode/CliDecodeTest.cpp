// Drives the built ostrel-cli from outside, as a user would.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/frames/FrameBuilder.h"
#include "sim/frames/ReportStream.h"
#include "tests/cli/ChildProcess.h"

namespace ostrel {
namespace {

using sim::FrameBuilder;

struct CliRun {
  int status = -1;
  std::vector<std::string> lines;
  std::string err;
};

// A file name of the running test's own, so tests may run in parallel processes.
std::string tempPath(const std::string& name) {
  return testing::TempDir() + "ostrel_cli_" +
         testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + name;
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Runs "ostrel-cli decode <args>" in the C locale with the given standard input.
CliRun decode(const std::vector<std::string>& args,
              test::ChildInput input = test::ChildInput::none()) {
  std::vector<std::string> arguments{"decode"};
  arguments.insert(arguments.end(), args.begin(), args.end());
  const test::ChildResult result = test::runProgram(
      OSTREL_CLI_PATH, arguments,
      test::ChildOptions().withInput(std::move(input)).withVariable("LC_ALL", "C"));
  CliRun run;
  run.status = result.exitCode;
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) run.lines.push_back(line);
  run.err = result.err;
  return run;
}

std::string streamText(const std::vector<FrameBuilder::Frame>& frames) {
  std::vector<std::vector<std::uint8_t>> serial;
  serial.reserve(frames.size());
  for (const auto& f : frames) serial.emplace_back(f.begin(), f.end());
  std::ostringstream out;
  const auto reports = sim::reportStream(serial, 5, 2);
  sim::writeReports(out, reports);
  return out.str();
}

TEST(CliDecode, WritesOneObjectPerFrameHandedOverWithKeysInOrder) {
  auto dropped = FrameBuilder().mainDigits("9999").bytes();
  dropped[21] = 0x0B;
  const std::string stream =
      "# captured with the bridge\n\n" +
      streamText({FrameBuilder().mainDigits("1.234").unit("MΩ").testVoltage(" 500").bytes(),
                  dropped, FrameBuilder().timer("00:05").bytes()}) +
      "\n   \n# end\n";
  const std::string path = tempPath("stream.txt");
  writeFile(path, stream);

  const CliRun run = decode({path});
  EXPECT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(run.lines.size(), 2U);
  const std::string& first = run.lines[0];
  EXPECT_TRUE(first.starts_with(
      R"({"frame":1,"offered":true,"value":"1.234","unit":"MΩ","vrange":"IR:500V 20GΩ",)"
      R"("irange":"Continuous","visible":[")"))
      << first;
  EXPECT_TRUE(first.ends_with(
      R"(],"captions":{"LabelA":"1","LabelB":"2","LabelC":"3","LabelD":"4","Label3":"0",)"
      R"("Label7":"5","Label10":"0","Label9":"0","H_Time1":"8","H_Time2":"8","M_Time1":"8",)"
      R"("M_Time2":"8","stor2":"8"}})"))
      << first;

  const auto begin = first.find("\"visible\":[") + 11;
  std::vector<std::string> visible;
  std::istringstream names(first.substr(begin, first.find(']', begin) - begin));
  for (std::string name; std::getline(names, name, ',');) visible.push_back(name);
  EXPECT_TRUE(std::is_sorted(visible.begin(), visible.end()));
  for (const char* name : {"\"CONok\"", "\"KD\"", "\"Labmo1\"", "\"Point1\"", "\"LabelA\""}) {
    EXPECT_NE(std::find(visible.begin(), visible.end(), name), visible.end()) << name;
  }
  EXPECT_EQ(std::find(visible.begin(), visible.end(), "\"CONokN\""), visible.end());

  EXPECT_TRUE(run.lines[1].starts_with(
      R"({"frame":2,"offered":false,"value":"","unit":"MΩ","vrange":"IR:500V 20GΩ",)"))
      << run.lines[1];
  EXPECT_NE(run.lines[1].find(R"("CONokN")"), std::string::npos);

  const CliRun fromStdin = decode({}, test::ChildInput::file(path));
  const CliRun fromDash = decode({"-"}, test::ChildInput::file(path));
  EXPECT_EQ(fromStdin.lines, run.lines);
  EXPECT_EQ(fromDash.lines, run.lines);
}

TEST(CliDecode, MalformedLineStopsWithItsNumber) {
  const std::string frame = streamText({FrameBuilder().mainDigits("42").bytes()});
  for (const char* bad : {"00 F1 0G", "00 F1 123", "00 F1 1", "00,F1"}) {
    const std::string path = tempPath("bad.txt");
    writeFile(path, frame + "# note\n" + bad + "\n00 F0\n");
    const auto frameLines = static_cast<std::size_t>(std::count(frame.begin(), frame.end(), '\n'));
    const CliRun run = decode({path});
    EXPECT_EQ(run.status, 2) << bad;
    EXPECT_NE(run.err.find("line " + std::to_string(frameLines + 2)), std::string::npos) << run.err;
    EXPECT_EQ(run.lines.size(), 1U) << bad;  // the frame before was written
  }
}

// A read that fails (a folder given as FILE) ends with exit status 1 and the reason, never
// with an uncaught exception.
TEST(CliDecode, AReadErrorGivesTheReason) {
  const std::string folder = tempPath("folder");
  std::filesystem::create_directories(folder);
  const CliRun run = decode({folder});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.err, "ostrel-cli decode: read error: Is a directory\n");
  EXPECT_TRUE(run.lines.empty());
}

// An endless line (no line break ever comes) is refused once it holds more pairs than a
// report can (65,536 after the ID), not buffered in the hope of an end: the command quits
// after reading little more than that.
TEST(CliDecode, EndlessLineIsRefusedOnceItPassesTheLimit) {
  test::ChildProcess child(OSTREL_CLI_PATH, {"decode"},
                           test::ChildOptions().withInput(test::ChildInput::pipe()));
  const std::string chunk = [] {
    std::string pairs;
    for (int i = 0; i < 4096; ++i) pairs += "00 ";
    return pairs;
  }();
  constexpr std::size_t giveUpAfter = std::size_t{64} << 20;
  std::size_t sent = 0;
  while (sent < giveUpAfter) {
    const std::size_t n = child.write(chunk);
    sent += n;
    if (n < chunk.size()) break;  // the command closed its input: it has quit
  }
  child.closeInput();
  ASSERT_TRUE(child.waitForExit(std::chrono::seconds(60)));
  EXPECT_EQ(child.result().exitCode, 2) << child.result().signal;
  EXPECT_LT(sent, std::size_t{2} << 20) << "the line was read on far beyond the limit";
}

TEST(CliDecode, EmptyInputAndIdleOnlyInputWriteNothing) {
  const std::string path = tempPath("idle.txt");
  writeFile(path, "00 F0 00 00 00 00 00 00 00\r\n00\n");
  const CliRun run = decode({path});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.lines.empty());
  EXPECT_EQ(decode({}).status, 0);
  EXPECT_EQ(decode({tempPath("missing")}).status, 2);
}

}  // namespace
}  // namespace ostrel
