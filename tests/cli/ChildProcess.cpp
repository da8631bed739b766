#include "tests/cli/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <initializer_list>
#include <system_error>

extern char** environ;

namespace ostrel::test {

namespace {

[[noreturn]] void throwErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Writing to a pipe whose reader has gone raises SIGPIPE, which would end the test: while
// this lives the write fails with EPIPE instead.
class SigpipeIgnored {
 public:
  SigpipeIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &m_old);
  }
  ~SigpipeIgnored() { ::sigaction(SIGPIPE, &m_old, nullptr); }
  SigpipeIgnored(const SigpipeIgnored&) = delete;
  SigpipeIgnored& operator=(const SigpipeIgnored&) = delete;

 private:
  struct sigaction m_old {};
};

// This process's environment with the changes applied, as NAME=value strings.
std::vector<std::string> childEnvironment(
    const std::vector<std::pair<std::string, std::optional<std::string>>>& changes) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) entries.emplace_back(*entry);
  for (const auto& [name, value] : changes) {
    const std::string prefix = name + "=";
    std::erase_if(entries, [&prefix](const std::string& e) { return e.starts_with(prefix); });
    if (value) entries.push_back(prefix + *value);
  }
  return entries;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  pointers.reserve(texts.size() + 1);
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

void makePipe(int (&ends)[2]) {
  if (::pipe2(ends, O_CLOEXEC) != 0) throwErrno("pipe");
}

// A read or write, called again when a signal interrupted it.
template <typename Call>
ssize_t retryInterrupted(Call call) {
  ssize_t n = 0;
  do {
    n = call();
  } while (n < 0 && errno == EINTR);
  return n;
}

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// The descriptor the child reads as standard input, and the parent's end of its pipe (-1
// when there is none).
std::pair<int, int> openInput(const ChildInput& input) {
  switch (input.kind) {
    case ChildInput::Kind::Null:
    case ChildInput::Kind::File: {
      const std::string path = input.kind == ChildInput::Kind::Null ? "/dev/null" : input.value;
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) throwErrno(path);
      return {fd, -1};
    }
    case ChildInput::Kind::Text:
    case ChildInput::Kind::Pipe:
      break;
  }
  int ends[2];
  makePipe(ends);
  return {ends[0], ends[1]};
}

// In the child: standard streams in place, then the program. Never returns.
[[noreturn]] void execChild(int in, int out, int err, const std::function<void()>& inChild,
                            char* const* argv, char* const* envp) {
  ::dup2(in, STDIN_FILENO);
  ::dup2(out, STDOUT_FILENO);
  ::dup2(err, STDERR_FILENO);
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &byDefault, nullptr);
  if (inChild) inChild();
  ::execvpe(argv[0], argv, envp);
  const int error = errno;
  const char* reason = std::strerror(error);
  for (const char* part : std::initializer_list<const char*>{argv[0], ": ", reason, "\n"}) {
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, part, std::strlen(part));
  }
  ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           ChildOptions options) {
  std::vector<std::string> argvTexts{program};
  argvTexts.insert(argvTexts.end(), arguments.begin(), arguments.end());
  std::vector<std::string> envTexts = childEnvironment(options.environment);
  const std::vector<char*> argv = pointersTo(argvTexts);
  const std::vector<char*> envp = pointersTo(envTexts);

  auto [childIn, parentIn] = openInput(options.input);
  int out[2];
  int err[2];
  makePipe(out);
  makePipe(err);
  m_pid = ::fork();
  if (m_pid == 0) execChild(childIn, out[1], err[1], options.inChild, argv.data(), envp.data());
  const int forkError = errno;
  for (int fd : {childIn, out[1], err[1]}) ::close(fd);
  m_in = parentIn;
  m_out = out[0];
  m_err = err[0];
  if (m_pid < 0) {
    for (int* fd : {&m_in, &m_out, &m_err}) closeFd(*fd);
    errno = forkError;
    throwErrno("fork");
  }
  for (int fd : {m_in, m_out, m_err}) {
    if (fd >= 0) setNonBlocking(fd);
  }
  if (options.input.kind == ChildInput::Kind::Text) {
    m_pendingInput = std::move(options.input.value);
    m_closeInputWhenWritten = true;
    if (m_pendingInput.empty()) closeFd(m_in);
  }
}

ChildProcess::~ChildProcess() {
  if (!m_ended) {
    ::kill(m_pid, SIGKILL);
    reap(0);
  }
  for (int* fd : {&m_in, &m_out, &m_err}) closeFd(*fd);
}

bool ChildProcess::running() { return !m_ended && !reap(WNOHANG); }

void ChildProcess::sendSignal(int signal) {
  if (!m_ended) ::kill(m_pid, signal);
}

bool ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (running()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    // A short tick: the child's end shows in waitpid(), not on the pipes.
    serviceOnce(std::min(left, std::chrono::milliseconds(10)));
  }
  return true;
}

std::size_t ChildProcess::write(std::string_view bytes, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  m_pendingInput.assign(bytes);
  const std::size_t writtenBefore = m_inputWritten;
  while (m_in >= 0 && !m_pendingInput.empty() && running() && Clock::now() < deadline) {
    serviceOnce(std::chrono::milliseconds(10));
  }
  m_pendingInput.clear();
  return m_inputWritten - writtenBefore;
}

void ChildProcess::closeInput() {
  m_pendingInput.clear();
  closeFd(m_in);
}

void ChildProcess::serviceOnce(std::chrono::milliseconds wait) {
  std::array<pollfd, 3> fds{};
  std::size_t count = 0;
  for (int fd : {m_out, m_err}) {
    if (fd >= 0) fds[count++] = {fd, POLLIN, 0};
  }
  if (m_in >= 0 && !m_pendingInput.empty()) fds[count++] = {m_in, POLLOUT, 0};
  if (::poll(fds.data(), count, static_cast<int>(wait.count())) <= 0) return;
  for (std::size_t i = 0; i < count; ++i) {
    if (fds[i].revents == 0) continue;
    if (fds[i].fd == m_out) readAvailable(m_out, m_result.out);
    if (fds[i].fd == m_err) readAvailable(m_err, m_result.err);
    if (fds[i].fd == m_in) writePendingInput();
  }
}

void ChildProcess::readAvailable(int& fd, std::string& into) {
  char buffer[65536];
  while (fd >= 0) {
    const ssize_t n = retryInterrupted([&] { return ::read(fd, buffer, sizeof buffer); });
    if (n < 0 && errno == EAGAIN) return;
    if (n <= 0) {
      closeFd(fd);  // end of file: the child (and any child of its) closed the stream
      return;
    }
    into.append(buffer, static_cast<std::size_t>(n));
  }
}

void ChildProcess::writePendingInput() {
  const SigpipeIgnored noSignal;
  while (m_in >= 0 && !m_pendingInput.empty()) {
    const ssize_t n = retryInterrupted(
        [&] { return ::write(m_in, m_pendingInput.data(), m_pendingInput.size()); });
    if (n < 0 && errno == EAGAIN) return;
    if (n < 0) {
      closeFd(m_in);  // EPIPE: the child no longer reads its input
      break;
    }
    m_pendingInput.erase(0, static_cast<std::size_t>(n));
    m_inputWritten += static_cast<std::size_t>(n);
  }
  if (m_closeInputWhenWritten && m_pendingInput.empty()) closeFd(m_in);
}

bool ChildProcess::reap(int options) {
  int status = 0;
  pid_t done = 0;
  do {
    done = ::waitpid(m_pid, &status, options);
  } while (done < 0 && errno == EINTR);
  // ECHILD: reaped elsewhere (by a SIGCHLD handler of a library): ended, status unknown.
  if (done != m_pid && !(done < 0 && errno == ECHILD)) return false;
  m_ended = true;
  if (WIFEXITED(status)) m_result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) m_result.signal = WTERMSIG(status);
  // What it wrote before it ended is in the pipes now; later writes could only come
  // from a child of its own, which nobody waits for.
  readAvailable(m_out, m_result.out);
  readAvailable(m_err, m_result.err);
  closeFd(m_in);
  return true;
}

ChildResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                       ChildOptions options) {
  const std::chrono::milliseconds timeout = options.timeout;
  ChildProcess child(program, arguments, std::move(options));
  if (child.waitForExit(timeout)) return child.result();
  child.sendSignal(SIGKILL);
  child.waitForExit(std::chrono::seconds(10));
  ChildResult result = child.result();
  result.timedOut = true;
  return result;
}

}  // namespace ostrel::test
