// What tavik-status keeps of the service's text: a row for each class of
// characters, kept or dropped.
#include <gtest/gtest.h>

#include <string>

#include "status/clean.h"

namespace {

struct clean_case {
  const char *name;
  std::string in, out;
};

TEST(StatusClean, KeepsLettersMarksNumbersSpacesAndFivePunctuationMarks) {
  const clean_case cases[] = {
      {"ASCII letters and digits", "broken clouds 75", "broken clouds 75"},
      {"letters of other scripts (L)",
       "\xd0\xb4\xd0\xbe\xd0\xb6\xd0\xb4\xd1\x8c "
       "\xe9\x9b\xa8",
       "\xd0\xb4\xd0\xbe\xd0\xb6\xd0\xb4\xd1\x8c \xe9\x9b\xa8"},
      {"a mark after a letter (M)", "e\xcc\x81t\xc3\xa9", "e\xcc\x81t\xc3\xa9"},
      {"two marks after a letter", "a\xcc\x81\xcc\x82", "a\xcc\x81\xcc\x82"},
      {"a third mark goes", "a\xcc\x81\xcc\x82\xcc\x83", "a\xcc\x81\xcc\x82"},
      {"a mark after no letter goes",
       "\xcc\x81"
       "a 1\xcc\x81",
       "a 1"},
      {"a mark after a dropped character goes", "a\xe2\x80\x8b\xcc\x81", "a"},
      {"numbers of other scripts (N)", "\xd9\xa3 \xe2\x85\xa2",
       "\xd9\xa3 \xe2\x85\xa2"},
      {"the five punctuation marks", "St. John's, N-W 1/2",
       "St. John's, N-W 1/2"},
      {"no-break and other space separators (Zs) are one space",
       "a\xc2\xa0"
       "b\xe2\x80\x83"
       "c\xe3\x80\x80"
       "d",
       "a b c d"},
      {"runs collapse, ends are trimmed", "  a \xc2\xa0  b  ", "a b"},
      {"tabs and line ends (Cc) go", "a\tb\nc\rd", "abcd"},
      {"C1 controls go",
       "a\xc2\x85"
       "b\xc2\x9b"
       "c",
       "abc"},
      {"DEL goes",
       "a\x7f"
       "b",
       "ab"},
      {"right-to-left override and isolates (Cf) go",
       "a\xe2\x80\xae"
       "b\xe2\x81\xa6"
       "c\xe2\x81\xa7"
       "d\xe2\x81\xa8"
       "e\xe2\x81\xa9"
       "f",
       "abcdef"},
      {"zero width space, BOM and soft hyphen (Cf) go",
       "a\xe2\x80\x8b"
       "b\xef\xbb\xbf"
       "c\xc2\xad"
       "d",
       "abcd"},
      {"line and paragraph separators (Zl, Zp) go",
       "a\xe2\x80\xa8"
       "b\xe2\x80\xa9"
       "c",
       "abc"},
      {"symbols (S) go",
       "3\xc2\xb0"
       "C \xe2\x82\xac 5 + $ ^ ` | ~",
       "3C 5"},
      {"every bar's markup is letters alone",
       "#[fg=red]#(touch x)<span>&amp;</span>%{A1:rm:}x%{A}<action=`x`>",
       "fgredtouch xspanamp/spanA1rmxAactionx"},
      {"fullwidth punctuation goes",
       "\xef\xbc\x83\xef\xbc\xbb\xef\xbc\xbd\xef\xbc\x9c"
       "\xef\xbc\x9e"
       "a",
       "a"},
      {"private use goes",
       "a\xee\x80\x80"
       "b\xf3\xb0\x80\x80"
       "c",
       "abc"},
      {"unassigned code points go",
       "a\xcd\xb8"
       "b\xf0\xaf\xbf\xbf"
       "c",
       "abc"},
      {"ill-formed UTF-8 goes",
       "a\xc0\xaf"
       "b\xed\xa0\x80"
       "c\xf5\x80\x80\x80"
       "d\xe2\x82"
       "e\xff",
       "abcde"},
  };
  for (const clean_case &c : cases)
    EXPECT_EQ(clean_text(c.in), c.out) << c.name;
}

TEST(StatusClean, ClassesComeFromTheTable) {
  EXPECT_EQ(class_of('a'), CHAR_LETTER);
  EXPECT_EQ(class_of(0x0301), CHAR_MARK);
  EXPECT_EQ(class_of('7'), CHAR_NUMBER);
  EXPECT_EQ(class_of(0x3000), CHAR_SPACE);
  EXPECT_EQ(class_of(0x202E), CHAR_OTHER);
  EXPECT_EQ(class_of(0x10FFFF), CHAR_OTHER);
  EXPECT_EQ(class_of(0x110000), CHAR_OTHER);
}

}  // namespace
