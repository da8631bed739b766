#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// The long time format of a locale's LC_TIME category (nl_langinfo T_FMT): how the grid,
// the reports and the text table files write a time of day. Immutable after construction;
// safe to use from any thread.
class LongTimeFormat {
 public:
  // localeName as for newlocale: "" takes LC_ALL / LC_TIME / LANG from the environment.
  // A locale that cannot be opened falls back to "C" ("%H:%M:%S").
  explicit LongTimeFormat(const char* localeName);
  // A given strftime/strptime pattern applied with the named locale's LC_TIME.
  LongTimeFormat(const char* localeName, std::string pattern);
  ~LongTimeFormat();
  LongTimeFormat(const LongTimeFormat&) = delete;
  LongTimeFormat& operator=(const LongTimeFormat&) = delete;

  // The environment's format, read once at first use.
  static const LongTimeFormat& fromEnvironment();

  [[nodiscard]] const std::string& pattern() const { return m_pattern; }
  // ms: milliseconds since midnight (0..86399999); the milliseconds are not written.
  [[nodiscard]] std::string format(std::int32_t ms) const;
  // Appends format(ms) to out (no allocation on the common "%H:%M:%S" path).
  void appendTo(std::string& out, std::int32_t ms) const;
  // The whole text must be a time in this format; gives whole seconds as ms.
  [[nodiscard]] std::optional<std::int32_t> parse(std::string_view text) const;

 private:
  void* m_locale;  // locale_t, owned
  std::string m_pattern;
  bool m_plainHms;  // "%H:%M:%S" or "%T": formatted and parsed without the C library
};

// The environment locale's long time format applied to ms since midnight.
std::string formatLongTime(std::int32_t ms);

}  // namespace ostrel
