#include <gtest/gtest.h>

#include "record/GbkText.h"

namespace ostrel {
namespace {

TEST(GbkText, ConvertsTheOhmSignBothWays) {
  EXPECT_EQ(gbkToUtf8("IR:500V 20G\xA6\xB8"), "IR:500V 20G\xCE\xA9");
  EXPECT_EQ(utf8ToGbk("M\xCE\xA9"), "M\xA6\xB8");
}

TEST(GbkText, BrokenInputNeverFails) {
  EXPECT_EQ(gbkToUtf8("A\xA6"), "A\xEF\xBF\xBD");
  EXPECT_EQ(utf8ToGbk("A\xFF"
                      "B"),
            "A?B");
}

TEST(GbkText, PrefixNeverSplitsATwoByteCharacter) {
  EXPECT_EQ(gbkPrefix("abc", 20), "abc");
  EXPECT_EQ(gbkPrefix("1234567890123456789\xA6\xB8", 20), "1234567890123456789");
  EXPECT_EQ(gbkPrefix("123456789012345678\xA6\xB8xyz", 20), "123456789012345678\xA6\xB8");
}

}  // namespace
}  // namespace ostrel
