#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "decode/DecimalSeparator.h"

namespace ostrel {
namespace {

// Sets LC_ALL for the test's duration and restores it afterwards.
class ScopedLcAll {
 public:
  explicit ScopedLcAll(const char* value) {
    if (const char* old = std::getenv("LC_ALL")) m_old = old;
    setenv("LC_ALL", value, 1);
  }
  ~ScopedLcAll() {
    if (m_old) {
      setenv("LC_ALL", m_old->c_str(), 1);
    } else {
      unsetenv("LC_ALL");
    }
  }
  ScopedLcAll(const ScopedLcAll&) = delete;
  ScopedLcAll& operator=(const ScopedLcAll&) = delete;

 private:
  std::optional<std::string> m_old;
};

TEST(DecimalSeparator, CLocaleGivesPoint) {
  ScopedLcAll c("C");
  EXPECT_EQ(decimalSeparatorFromLocale(), ".");
}

TEST(DecimalSeparator, UnloadableLocaleGivesEmpty) {
  ScopedLcAll missing("xx_NOWHERE.UTF-8");
  EXPECT_EQ(decimalSeparatorFromLocale(), "");
}

}  // namespace
}  // namespace ostrel
