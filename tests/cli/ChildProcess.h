#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel::test {

// Where a child's standard input comes from.
struct ChildInput {
  enum class Kind { Null, File, Text, Pipe };
  Kind kind = Kind::Null;
  std::string value;  // the file's path, or the text

  // /dev/null: the child reads end of file at once.
  static ChildInput none() { return {}; }
  // The file itself, opened for reading, as a shell's "< path" gives it.
  static ChildInput file(std::string path) { return {Kind::File, std::move(path)}; }
  // These bytes through a pipe, closed after them.
  static ChildInput text(std::string bytes) { return {Kind::Text, std::move(bytes)}; }
  // A pipe the test writes with ChildProcess::write() and ends with closeInput().
  static ChildInput pipe() { return {Kind::Pipe, {}}; }
};

struct ChildOptions {
  ChildInput input;
  // Variables set (a value) or removed (nullopt) in the child's copy of this process's
  // environment.
  std::vector<std::pair<std::string, std::optional<std::string>>> environment;
  // Runs in the child after fork, before exec (setting a resource limit, say). Only
  // async-signal-safe calls belong here.
  std::function<void()> inChild;
  // runProgram() kills a child that runs longer than this.
  std::chrono::milliseconds timeout = std::chrono::seconds(60);

  // For options made in one expression: ChildOptions().withInput(...).withTimeout(...).
  ChildOptions& withInput(ChildInput in) {
    input = std::move(in);
    return *this;
  }
  ChildOptions& withVariable(std::string name, std::optional<std::string> value) {
    environment.emplace_back(std::move(name), std::move(value));
    return *this;
  }
  ChildOptions& withChildSetup(std::function<void()> setup) {
    inChild = std::move(setup);
    return *this;
  }
  ChildOptions& withTimeout(std::chrono::milliseconds limit) {
    timeout = limit;
    return *this;
  }
};

// How a program ended and everything it wrote.
struct ChildResult {
  int exitCode = -1;      // the status it exited with; -1 when it did not exit (yet)
  int signal = 0;         // the signal that ended it; 0 when none did
  bool timedOut = false;  // runProgram() killed it at the timeout
  std::string out;        // its standard output, byte for byte
  std::string err;        // its standard error, byte for byte

  bool exited() const { return exitCode >= 0; }
};

// One program run as a child process, without a shell: arguments go to it as given. Its
// standard output and error are read while it runs and whenever this object waits, so a
// child that writes much never blocks on a full pipe. A program that cannot be run ends
// with status 127 and says why on its standard error, as a shell would. The child starts
// with SIGPIPE at its default, as from a shell, whatever this process does with it.
// Failing to make the pipes or the process throws std::system_error. The destructor kills
// a child still running (SIGKILL) and reaps it. Use from one thread.
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               ChildOptions options = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return m_pid; }
  bool running();
  void sendSignal(int signal);

  // Waits until the child ends or the timeout passes, reading its output meanwhile; true
  // when it has ended. After that the result holds all it wrote.
  bool waitForExit(std::chrono::milliseconds timeout);

  // Writes bytes to a ChildInput::pipe() input, reading the output meanwhile. Stops early
  // when the child closes its input or ends, or when the timeout passes; returns how many
  // bytes the pipe took.
  std::size_t write(std::string_view bytes,
                    std::chrono::milliseconds timeout = std::chrono::seconds(60));
  // Closes the child's input: it reads end of file after what was written.
  void closeInput();

  const ChildResult& result() const { return m_result; }

 private:
  using Clock = std::chrono::steady_clock;

  // Reads what output is ready, writes what input is pending, for at most `wait`.
  void serviceOnce(std::chrono::milliseconds wait);
  void readAvailable(int& fd, std::string& into);
  void writePendingInput();
  bool reap(int options);

  pid_t m_pid = -1;
  bool m_ended = false;
  int m_in = -1;
  int m_out = -1;
  int m_err = -1;
  std::string m_pendingInput;
  std::size_t m_inputWritten = 0;
  bool m_closeInputWhenWritten = false;
  ChildResult m_result;
};

// Runs a program to its end (or its timeout, when it is killed) and gives the result.
ChildResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                       ChildOptions options = {});

}  // namespace ostrel::test
