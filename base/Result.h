#pragma once

#include <optional>
#include <string>
#include <utility>

namespace ostrel {

// How an operation ended.
enum class Outcome {
  Done,       // it did what was asked
  Failed,     // it could not; message() says why, in the system's words
  Cancelled,  // it was asked to stop (a progress callback said so); nothing was changed
};

// What every operation of ours that can fail returns: how it ended and one text. The text is
// the reason of a failure as the system words it (strerror, or the file operation's own
// message, e.g. "Failed to Load File!"); a file operation that tells the user about its
// success puts that message here too ("Save table to specified file: <name> Scuss!"), others
// leave it empty. [[nodiscard]]: a result is handled, or dropped on purpose with a comment and
// a cast to void. Result<T> carries the operation's value, present exactly when it is done.
// Plain value type; standard library only, so every layer may use it.
class ResultState {
 public:
  [[nodiscard]] Outcome outcome() const { return m_outcome; }
  [[nodiscard]] bool ok() const { return m_outcome == Outcome::Done; }
  [[nodiscard]] bool cancelled() const { return m_outcome == Outcome::Cancelled; }
  [[nodiscard]] const std::string& message() const { return m_message; }

 protected:
  ResultState(Outcome outcome, std::string message)
      : m_outcome(outcome), m_message(std::move(message)) {}

 private:
  Outcome m_outcome;
  std::string m_message;
};

template <typename T = void>
class [[nodiscard]] Result;

template <>
class [[nodiscard]] Result<void> : public ResultState {
 public:
  // Done, with no message.
  Result() : ResultState(Outcome::Done, {}) {}

  static Result done(std::string message = {}) { return {Outcome::Done, std::move(message)}; }
  static Result failure(std::string reason) { return {Outcome::Failed, std::move(reason)}; }
  static Result cancel(std::string reason) { return {Outcome::Cancelled, std::move(reason)}; }
  static Result as(Outcome outcome, std::string message) { return {outcome, std::move(message)}; }

 private:
  Result(Outcome outcome, std::string message) : ResultState(outcome, std::move(message)) {}
};

template <typename T>
class [[nodiscard]] Result : public ResultState {
 public:
  // Done, holding value.
  Result(T value, std::string message = {})
      : ResultState(Outcome::Done, std::move(message)), m_value(std::move(value)) {}
  // A result that is not done (of any type), passed on: its outcome and message, no value. A
  // done one given here would hold no value: that is a mistake, so it counts as failed.
  Result(const ResultState& notDone)
      : ResultState(notDone.ok() ? Outcome::Failed : notDone.outcome(), notDone.message()) {}

  static Result failure(std::string reason) { return Result<void>::failure(std::move(reason)); }

  // The value; only when ok().
  [[nodiscard]] T& value() { return *m_value; }
  [[nodiscard]] const T& value() const { return *m_value; }

 private:
  std::optional<T> m_value;
};

}  // namespace ostrel
