#include <gtest/gtest.h>

#include <string>

#include "decode/DecimalSeparator.h"
#include "tests/support/TestLocales.h"

namespace ostrel {
namespace {

using test::CommaLocale;
using test::ScopedEnvironment;

// The locale is resolved as the C library does it: LC_ALL over LC_NUMERIC over LANG; one that
// cannot be loaded leaves the process in "C", whose separator is ".".
TEST(DecimalSeparator, FollowsTheLocaleTheProcessRunsIn) {
  const CommaLocale comma;
  const char* german = CommaLocale::name;
  const char* missing = "xx_NOWHERE.UTF-8";
  struct Case {
    const char* name;
    const char* lcAll;
    const char* lcNumeric;
    const char* lang;
    const char* separator;
  };
  for (const Case& c : {
           Case{"C", "C", nullptr, nullptr, "."},
           Case{"NothingSet", nullptr, nullptr, nullptr, "."},
           Case{"CommaFromLcAll", german, nullptr, nullptr, ","},
           Case{"CommaFromLcNumeric", nullptr, german, "C", ","},
           Case{"CommaFromLang", nullptr, nullptr, german, ","},
           Case{"LcAllOverLcNumeric", "C", german, german, "."},
           Case{"UninstalledLang", nullptr, nullptr, missing, "."},
           Case{"UninstalledLcAll", missing, german, german, "."},
       }) {
    SCOPED_TRACE(c.name);
    const bool needsComma = std::string(c.separator) == "," || c.lcNumeric == german;
    if (needsComma && !comma.problem().empty()) continue;
    const ScopedEnvironment environment{{"LOCPATH", comma.locPath()},
                                        {"LC_ALL", c.lcAll},
                                        {"LC_NUMERIC", c.lcNumeric},
                                        {"LANG", c.lang}};
    EXPECT_EQ(decimalSeparatorFromLocale(), c.separator);
  }
  if (!comma.problem().empty()) GTEST_SKIP() << "comma cases not run: " << comma.problem();
}

}  // namespace
}  // namespace ostrel
