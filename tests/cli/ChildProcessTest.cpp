// The process runner the command-line tests share: a fault here would let those tests pass
// or hang whatever the commands do.
#include "tests/cli/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

namespace ostrel::test {
namespace {

using namespace std::chrono_literals;

ChildResult shell(const std::string& script, ChildOptions options = {}) {
  return runProgram("/bin/sh", {"-c", script}, std::move(options));
}

// Both streams past a pipe's buffer, and the exit status: a runner that reads one stream
// only, or only at the end, blocks the child for ever.
TEST(ChildProcess, CapturesLargeOutputOnBothStreamsAndTheExitStatus) {
  const ChildResult run =
      shell("head -c 300000 /dev/zero; head -c 200000 /dev/zero >&2; echo end; exit 3");
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(run.signal, 0);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.out.size(), 300004U);
  EXPECT_TRUE(run.out.ends_with(std::string(1, '\0') + "end\n"));
  EXPECT_EQ(run.err, std::string(200000, '\0'));
}

TEST(ChildProcess, FeedsStandardInputFromNothingAFileOrText) {
  std::string text(150000, 'x');
  text += std::string("\0\r\n", 3);
  EXPECT_EQ(runProgram("cat", {}, ChildOptions().withInput(ChildInput::text(text))).out, text);
  EXPECT_EQ(runProgram("cat", {}).out, "");
  EXPECT_EQ(runProgram("cat", {}, ChildOptions().withInput(ChildInput::file("/proc/self/cmdline")))
                .exitCode,
            0);
  EXPECT_THROW(
      ChildProcess("cat", {}, ChildOptions().withInput(ChildInput::file("/nonexistent/in"))),
      std::system_error);
}

TEST(ChildProcess, SetsAndRemovesEnvironmentVariables) {
  ::setenv("OSTREL_RUNNER_GONE", "here", 1);
  const ChildResult run =
      shell("printf '%s|%s' \"$OSTREL_RUNNER_NEW\" \"${OSTREL_RUNNER_GONE-unset}\"",
            ChildOptions()
                .withVariable("OSTREL_RUNNER_NEW", "new value")
                .withVariable("OSTREL_RUNNER_GONE", std::nullopt));
  ::unsetenv("OSTREL_RUNNER_GONE");
  EXPECT_EQ(run.out, "new value|unset");
}

TEST(ChildProcess, ReportsSignalsTimeoutsAndProgramsThatCannotRun) {
  ChildProcess sleeper("sleep", {"30"});
  EXPECT_FALSE(sleeper.waitForExit(50ms));
  EXPECT_TRUE(sleeper.running());
  sleeper.sendSignal(SIGTERM);
  ASSERT_TRUE(sleeper.waitForExit(10s));
  EXPECT_EQ(sleeper.result().signal, SIGTERM);
  EXPECT_FALSE(sleeper.result().exited());

  const ChildResult late = runProgram("sleep", {"30"}, ChildOptions().withTimeout(100ms));
  EXPECT_TRUE(late.timedOut);
  EXPECT_EQ(late.signal, SIGKILL);

  const ChildResult missing = runProgram("/nonexistent/program", {"x"});
  EXPECT_EQ(missing.exitCode, 127);
  EXPECT_EQ(missing.err, "/nonexistent/program: No such file or directory\n");
}

// A child that stops reading ends the writing without SIGPIPE ending this process, and the
// count says how much it took.
TEST(ChildProcess, WritingStopsWhenTheChildStopsReading) {
  ChildProcess head("head", {"-c", "10"}, ChildOptions().withInput(ChildInput::pipe()));
  const std::string chunk(1 << 20, 'y');
  std::size_t taken = 0;
  for (int i = 0; i < 64; ++i) {
    const std::size_t n = head.write(chunk);
    taken += n;
    if (n < chunk.size()) break;
  }
  EXPECT_LT(taken, std::size_t{64} << 20);
  ASSERT_TRUE(head.waitForExit(10s));
  EXPECT_EQ(head.result().out, std::string(10, 'y'));
}

}  // namespace
}  // namespace ostrel::test
