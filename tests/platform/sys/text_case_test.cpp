// Names compare without regard to the case of ASCII letters; the bytes of
// other characters are never changed, so UTF-8 text survives intact.
#include <gtest/gtest.h>

#include "qvd3/platform/sys/text_case.h"

namespace qv {
namespace {

TEST(TextCase, AsciiLettersChangeAndEverythingElseStays) {
  EXPECT_EQ(AsciiUpper("user_id 7;[x]"), "USER_ID 7;[X]");
  EXPECT_EQ(AsciiLower("MENU_ID@Z"), "menu_id@z");
  EXPECT_EQ(AsciiUpper("ação"), "AçãO");
  EXPECT_EQ(AsciiLower("AÇÃO"), "aÇÃo");
}

TEST(TextCase, SameTextFoldsOnlyAsciiLettersAndNeedsEqualLength) {
  EXPECT_TRUE(SameText("USERQV_NAME", "userqv_name"));
  EXPECT_FALSE(SameText("Ação", "aÇão"));
  EXPECT_TRUE(SameText("Ação", "ação"));
  EXPECT_FALSE(SameText("USER_ID", "USER_ID "));
  EXPECT_FALSE(SameText("@", "`"));  // neighbours of the letters are not letters
  EXPECT_TRUE(SameText("", ""));
}

}  // namespace
}  // namespace qv
