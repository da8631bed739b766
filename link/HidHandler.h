#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace ostrel {

// A callable event handler with an identity. Copies share the identity, so a component can tell
// whether a device still carries "the handler it was given" (the comparison the device controller
// needs when it propagates a new handler). Two handlers made from the same lambda separately are
// different handlers. A default-constructed handler is "none".
template <typename Signature>
class HidHandler {
 public:
  HidHandler() = default;
  // Implicit so that a lambda can be assigned where a handler is expected. The constraint keeps
  // copies and moves of handlers on the copy and move constructors (which tidy does not see).
  template <typename Callable>
  requires(!std::is_same_v<std::decay_t<Callable>, HidHandler>)
      HidHandler(Callable&& callable)  // NOLINT(bugprone-forwarding-reference-overload)
      : m_function(
            std::make_shared<const std::function<Signature>>(std::forward<Callable>(callable))) {}

  explicit operator bool() const { return m_function != nullptr; }
  friend bool operator==(const HidHandler& a, const HidHandler& b) {
    return a.m_function == b.m_function;
  }

  template <typename... Args>
  decltype(auto) operator()(Args&&... args) const {
    return (*m_function)(std::forward<Args>(args)...);
  }

 private:
  std::shared_ptr<const std::function<Signature>> m_function;
};

}  // namespace ostrel
