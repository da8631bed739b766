// The write-all and read-all loops against what really makes a system call come back early:
// a signal that interrupts a pipe write or read part way (a short count, or EINTR when
// nothing moved yet), a pipe that hands over what it holds, the end of a file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "base/Result.h"
#include "base/SystemCalls.h"
#include "base/UniqueFd.h"

namespace ostrel::test {
namespace {

// Far more than a pipe holds (64 KiB), so the writer blocks and is interrupted many times.
constexpr std::size_t bigSize = std::size_t{4} << 20;

std::string pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
  return bytes;
}

void ignoreSignal(int /*signal*/) {}

// A handler for one signal while this lives, without SA_RESTART: a blocked pipe call that
// ignoreSignal interrupts returns what it moved so far, or EINTR.
class SignalHandled {
 public:
  SignalHandled(int signal, void (*handler)(int)) : m_signal(signal) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(m_signal, &action, &m_previous);
  }
  ~SignalHandled() { ::sigaction(m_signal, &m_previous, nullptr); }
  SignalHandled(const SignalHandled&) = delete;
  SignalHandled& operator=(const SignalHandled&) = delete;

 private:
  int m_signal;
  struct sigaction m_previous {};
};

struct Pipe {
  UniqueFd read;
  UniqueFd write;
  Pipe() {
    int ends[2];
    EXPECT_EQ(::pipe(ends), 0);
    read = UniqueFd(ends[0]);
    write = UniqueFd(ends[1]);
  }
};

// Runs `work` on a thread and interrupts it with SIGUSR1 until it is done, while `drive`
// (the other end of the pipe) runs here.
template <typename Work, typename Drive>
void interrupted(Work work, Drive drive) {
  const SignalHandled handler(SIGUSR1, ignoreSignal);
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  const pthread_t thread = worker.native_handle();
  std::atomic<bool> stop{false};
  std::thread interrupter([&] {
    while (!done && !stop) {
      ::pthread_kill(thread, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  });
  drive();
  stop = true;
  interrupter.join();
  worker.join();
}

TEST(WriteAll, DeliversEveryByteThroughShortWritesAndInterruptions) {
  Pipe pipe;
  const std::string bytes = pattern(bigSize);
  int error = -1;
  std::string received;
  interrupted(
      [&] {
        error = writeAll(pipe.write.get(), bytes);
        pipe.write.reset();
      },
      [&] {
        char chunk[4096];
        for (ssize_t got; (got = ::read(pipe.read.get(), chunk, sizeof chunk)) != 0;) {
          if (got < 0 && errno == EINTR) continue;
          ASSERT_GT(got, 0) << std::strerror(errno);
          received.append(chunk, static_cast<std::size_t>(got));
        }
      });
  EXPECT_EQ(error, 0) << reason(error);
  EXPECT_EQ(received.size(), bytes.size());
  EXPECT_TRUE(received == bytes);
}

TEST(ReadAll, FillsTheBufferThroughShortReadsAndInterruptionsAndStopsAtTheEnd) {
  Pipe pipe;
  const std::string bytes = pattern(bigSize);
  // Room for more than comes: the read ends at the end of the stream with what came.
  std::string buffer(bigSize + 100, '\0');
  std::size_t got = 0;
  int error = -1;
  // A reader that gives up early closes its end, so the writing below fails instead of
  // waiting for ever on a full pipe.
  const SignalHandled noSigpipe(SIGPIPE, SIG_IGN);
  interrupted(
      [&] {
        error = readAll(pipe.read.get(), buffer.data(), buffer.size(), got);
        pipe.read.reset();
      },
      [&] {
        // Small pieces: each read call finds only part of what is asked for.
        for (std::size_t at = 0; at < bytes.size(); at += 1000) {
          if (writeAll(pipe.write.get(), std::string_view(bytes).substr(at, 1000)) != 0) break;
        }
        pipe.write.reset();
      });
  EXPECT_EQ(error, 0) << reason(error);
  ASSERT_EQ(got, bytes.size());
  EXPECT_TRUE(buffer.substr(0, got) == bytes);
}

// Nothing to write is done without a system call (so even a closed descriptor succeeds);
// anything to write on a bad descriptor fails with the system's reason.
TEST(WriteAll, WritesNothingForNothingAndTellsTheSystemsReason) {
  EXPECT_EQ(writeAll(-1, ""), 0);
  EXPECT_EQ(writeAllAt(-1, "", 10), 0);
  EXPECT_EQ(writeAll(-1, "x"), EBADF);
  EXPECT_EQ(reason(EBADF), "Bad file descriptor");
  std::size_t got = 99;
  char byte = 0;
  EXPECT_EQ(readAll(-1, &byte, 1, got), EBADF);
  EXPECT_EQ(got, 0u);
}

class ScratchFile : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = (::testing::TempDir() + "ostrel-base-XXXXXX");
    ASSERT_NE(::mkdtemp(m_folder.data()), nullptr);
    m_path = m_folder + "/file";
  }
  void TearDown() override {
    ::unlink(m_path.c_str());
    ::rmdir(m_folder.c_str());
  }
  std::string m_folder;
  std::string m_path;
};

// The positioned forms leave the file position alone, and a read past the end gives what is
// there.
TEST_F(ScratchFile, PositionedWritesAndReadsKeepTheFilePosition) {
  const UniqueFd fd(::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  ASSERT_TRUE(fd.valid());
  ASSERT_EQ(writeAll(fd.get(), "head"), 0);
  ASSERT_EQ(writeAllAt(fd.get(), "TAIL", 10), 0);
  EXPECT_EQ(::lseek(fd.get(), 0, SEEK_CUR), 4);
  char buffer[32];
  std::size_t got = 0;
  ASSERT_EQ(readAllAt(fd.get(), buffer, sizeof buffer, 2, got), 0);
  EXPECT_EQ(std::string(buffer, got), std::string("ad\0\0\0\0\0\0TAIL", 12));
  ASSERT_EQ(readAllAt(fd.get(), buffer, sizeof buffer, 14, got), 0);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(::lseek(fd.get(), 0, SEEK_CUR), 4);
  ASSERT_EQ(readAll(fd.get(), buffer, sizeof buffer, got), 0);
  EXPECT_EQ(std::string(buffer, got), std::string("\0\0\0\0\0\0TAIL", 10));
}

// The descriptor is closed when its holder goes or takes another one, and only once.
TEST(UniqueFd, ClosesWhatItHoldsOnce) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  {
    UniqueFd first(ends[0]);
    UniqueFd second(ends[1]);
    UniqueFd moved(std::move(first));
    EXPECT_FALSE(first.valid());  // NOLINT(bugprone-use-after-move): moved from holds nothing
    moved = std::move(second);    // closes the read end
    EXPECT_EQ(::fcntl(ends[0], F_GETFD), -1);
    EXPECT_NE(::fcntl(ends[1], F_GETFD), -1);
  }
  EXPECT_EQ(::fcntl(ends[1], F_GETFD), -1);
}

// A value-carrying result passes a failure or a cancel on as it was, and never a "done"
// without its value.
TEST(Result, PassesOnWhatIsNotDone) {
  const Result<int> failed = Result<>::failure("No space left on device");
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.outcome(), Outcome::Failed);
  EXPECT_EQ(failed.message(), "No space left on device");
  const Result<int> cancelled = Result<>::cancel("Cancelled");
  EXPECT_TRUE(cancelled.cancelled());
  const Result<std::string> fromOther = Result<int>(failed);
  EXPECT_EQ(fromOther.outcome(), Outcome::Failed);
  const Result<int> doneWithoutValue = Result<>::done();
  EXPECT_FALSE(doneWithoutValue.ok());
  const Result<int> done(7, "seven");
  ASSERT_TRUE(done.ok());
  EXPECT_EQ(done.value(), 7);
  EXPECT_EQ(done.message(), "seven");
}

}  // namespace
}  // namespace ostrel::test
