#pragma once

#include <unistd.h>

#include <utility>

namespace ostrel {

// An open file descriptor, closed when this goes (or when another replaces it), so that no
// path out of a function can leave it open. -1 holds nothing.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : m_fd(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset();
      m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  [[nodiscard]] int get() const { return m_fd; }
  [[nodiscard]] bool valid() const { return m_fd >= 0; }
  // Closes what it holds; afterwards it holds nothing. A failing close is not reported: the
  // callers that must know whether their bytes reached the disk call fsync first, or take
  // the descriptor with release() and close it themselves.
  void reset() {
    if (m_fd >= 0) ::close(std::exchange(m_fd, -1));
  }
  // Hands the descriptor over (-1 when it holds none); afterwards it holds nothing.
  [[nodiscard]] int release() { return std::exchange(m_fd, -1); }

 private:
  int m_fd = -1;
};

}  // namespace ostrel
