// The shared ground floor: text folding and the printable form of the
// server's text.
#include <gtest/gtest.h>

#include <string>

#include "base/text.h"

namespace {

TEST(Text, LowercaseFoldsOnlyAsciiLetters) {
  char text[] = "ABC xyZ \xC3\x84\xC3\xA4 09!";
  lowercase_in_place(text);
  EXPECT_STREQ(text, "abc xyz \xC3\x84\xC3\xA4 09!");
}

// Each control character, C0, DEL and C1 alike, and each byte outside
// well-formed UTF-8, is one "?"; every other character stays whole.
TEST(Text, PrintableFormReplacesEachControlCharacterWithOneMark) {
  const struct {
    const char *name;
    std::string text;
    std::string shown;
  } cases[] = {
      {"plain text", "broken clouds", "broken clouds"},
      {"C0: escape, tab, CR, LF, NUL", std::string("a\x1b[2Jb\tc\r\nd\0e", 13),
       "a?[2Jb?c??d?e"},
      {"DEL", "a\x7f", "a?"},
      {"C1 as UTF-8: first, CSI, last",
       "\xc2\x80|\xc2\x9b"
       "31m|\xc2\x9f",
       "?|?31m|?"},
      {"lone C1 byte",
       "A\x9b"
       "31mB",
       "A?31mB"},
      {"stray continuation and cut sequences", "\x80 \xe2\x82 \xf0\x9f\x98",
       "? ?? ???"},
      {"overlong, surrogate, beyond U+10FFFF, never UTF-8",
       "\xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80 \xfe\xff", "?? ??? ???? ??"},
      {"ordinary UTF-8 stays",
       "Troms\xc3\xb8 \xc4\xb0stanbul \xc3\xbf \xe2\x82\xac \xf0\x9f\x8c\xa7",
       "Troms\xc3\xb8 \xc4\xb0stanbul \xc3\xbf \xe2\x82\xac \xf0\x9f\x8c\xa7"},
      {"no-break space, just past C1, stays",
       "A\xc2\xa0"
       "B",
       "A\xc2\xa0"
       "B"},
      {"sequence cut at the end", "ok\xc3", "ok?"},
      {"last two-byte character, U+07FF, stays",
       "a\xdf\xbf"
       "b",
       "a\xdf\xbf"
       "b"},
      // The lead byte of an overlong form is refused on its own, and each
      // byte after it then stands alone.
      {"overlong three- and four-byte forms of '/'",
       "\xe0\x80\xaf \xf0\x80\x80\xaf", "??? ????"},
      {"lead byte F5, past U+10FFFF",
       "\xf5\x80\x80\x80"
       "x",
       "????x"},
  };
  for (const auto &c : cases) {
    std::string out(c.text.size(), 'X');
    out.resize(copy_printable(&out[0], c.text.data(), c.text.size()));
    EXPECT_EQ(out, c.shown) << c.name;
    // In place, as the status line and the record's fields are made safe.
    std::string in_place = c.text;
    in_place.resize(
        copy_printable(&in_place[0], in_place.data(), in_place.size()));
    EXPECT_EQ(in_place, c.shown) << c.name << " (in place)";
  }
  char text[] = "x\xc2\x9by\r\n";
  make_printable(text);
  EXPECT_STREQ(text, "x?y??");
}

// n is the whole of the text: nothing at or past it is read or written,
// even when a character runs on past it.
TEST(Text, PrintableFormStaysWithinItsLength) {
  const struct {
    std::string text;
    size_t n;
    std::string shown;
  } cases[] = {
      {"abc\xc3\xb8"
       "def",
       4, "abc?"},
      {"ab\xe2\x82\xac", 3, "ab?"},
      {"ab\x1b"
       "cd",
       2, "ab"},
      {"abcdef", 0, ""},
  };
  for (const auto &c : cases) {
    std::string out(c.text.size() + 1, 'G');  // G: the guard bytes
    size_t written = copy_printable(&out[0], c.text.data(), c.n);
    EXPECT_EQ(out.substr(0, written), c.shown) << c.n;
    EXPECT_EQ(out.substr(c.n), std::string(out.size() - c.n, 'G')) << c.n;
  }
}

// A cut never splits a character: it backs off to the character's start.
TEST(Text, Utf8CutKeepsWholeCharacters) {
  const char text[] = "ab\xc3\xb8\xe2\x82\xac!";  // a b ø € !
  const struct {
    size_t max, cut;
  } cases[] = {{0, 0}, {2, 2}, {3, 2}, {4, 4}, {5, 4}, {6, 4}, {7, 7}};
  for (const auto &c : cases) EXPECT_EQ(utf8_cut(text, c.max), c.cut) << c.max;
}

}  // namespace
