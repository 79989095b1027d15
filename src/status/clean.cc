// Cleaning the service's text for a status bar. The table comes from the
// Unicode Character Database (tools/gen-unicode-table), not from the C
// library's locale, so that every system and locale keeps the same.
#include "status/clean.h"

namespace {

struct char_range {
  unsigned long first, last;
  char_class cls;
};

const char_range kRanges[] = {
#include "status/unicode_table.inc"
};

// Decodes the well-formed UTF-8 character at text[i], setting *len to its
// length; an ill-formed byte gives -1 with *len 1. The bounds on the
// second byte keep out overlong forms, surrogates and code points past
// U+10FFFF.
long decode(const std::string &text, size_t i, size_t *len) {
  const unsigned char c = (unsigned char)text[i];
  *len = 1;
  if (c < 0x80) return c;
  unsigned char lo = 0x80, hi = 0xBF;
  size_t n;
  unsigned long cp;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return -1;
  }
  if (i + n > text.size()) return -1;
  for (size_t k = 1; k < n; k++) {
    const unsigned char b = (unsigned char)text[i + k];
    if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return -1;
    cp = (cp << 6) | (b & 0x3F);
  }
  *len = n;
  return (long)cp;
}

bool kept_punctuation(long cp) {
  return cp == '.' || cp == ',' || cp == '-' || cp == '\'' || cp == '/';
}

}  // namespace

char_class class_of(unsigned long cp) {
  size_t lo = 0, hi = sizeof kRanges / sizeof kRanges[0];
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (cp < kRanges[mid].first)
      hi = mid;
    else if (cp > kRanges[mid].last)
      lo = mid + 1;
    else
      return kRanges[mid].cls;
  }
  return CHAR_OTHER;
}

std::string clean_text(const std::string &text) {
  std::string out;
  bool blank = false;  // a space is owed before the next kept character
  int marks = -1;      // marks kept since the last letter; -1: no letter
  for (size_t i = 0; i < text.size();) {
    size_t len;
    long cp = decode(text, i, &len);
    const size_t at = i;
    i += len;
    if (cp < 0) {
      marks = -1;
      continue;
    }
    char_class cls =
        kept_punctuation(cp) ? CHAR_NUMBER : class_of((unsigned long)cp);
    if (cls == CHAR_SPACE) {
      blank = !out.empty();
      marks = -1;
      continue;
    }
    if (cls == CHAR_MARK) {
      if (marks < 0 || marks >= 2) continue;
      marks++;
    } else if (cls == CHAR_LETTER) {
      marks = 0;
    } else if (cls == CHAR_NUMBER) {
      marks = -1;
    } else {
      marks = -1;
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out.append(text, at, len);
  }
  return out;
}
