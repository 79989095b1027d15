// The shared ground floor: text folding.
#include <gtest/gtest.h>

#include "base/text.h"

namespace {

TEST(Text, LowercaseFoldsOnlyAsciiLetters) {
  char text[] = "ABC xyZ \xC3\x84\xC3\xA4 09!";
  lowercase_in_place(text);
  EXPECT_STREQ(text, "abc xyz \xC3\x84\xC3\xA4 09!");
}

}  // namespace
