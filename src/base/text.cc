// Text folding and the printable form of the server's text.
#include <ctype.h>
#include <string.h>

#include "base/text.h"

void lowercase_in_place(char *text) {
  for (unsigned char *p = (unsigned char *)text; *p; p++)
    if (*p < 0x80) *p = (unsigned char)tolower(*p);
}

// The length of the well-formed UTF-8 sequence at p (of n bytes), or 0
// when the bytes there are not one: a stray continuation byte, an overlong
// form, a surrogate, a code point past U+10FFFF or a cut sequence.
static size_t utf8_sequence(const unsigned char *p, size_t n) {
  unsigned char c = p[0], lo = 0x80, hi = 0xBF;
  size_t len;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (n < len || p[1] < lo || p[1] > hi) return 0;
  for (size_t i = 2; i < len; i++)
    if ((p[i] & 0xC0) != 0x80) return 0;
  return len;
}

size_t copy_printable(char *out, const char *text, size_t n) {
  const unsigned char *p = (const unsigned char *)text;
  size_t in = 0, written = 0, kept = 0;  // kept: start of the bytes to keep
  while (in < n) {
    unsigned char c = p[in];
    if (c >= 0x20 && c < 0x7F) {
      in++;
      continue;
    }
    size_t len = c < 0x20 || c == 0x7F ? 0 : utf8_sequence(p + in, n - in);
    // C1 controls are U+0080 to U+009F: C2 80 to C2 9F.
    bool c1 = len == 2 && c == 0xC2 && p[in + 1] <= 0x9F;
    if (len != 0 && !c1) {
      in += len;
      continue;
    }
    // Each "?" stands for at least one byte, so the output never overtakes
    // the input and out may be text itself.
    memmove(out + written, p + kept, in - kept);
    written += in - kept;
    out[written++] = '?';
    in += len == 0 ? 1 : len;
    kept = in;
  }
  memmove(out + written, p + kept, in - kept);
  return written + (in - kept);
}

size_t utf8_cut(const char *text, size_t max) {
  // Back off to the start of the character that would be split.
  while (max > 0 && ((unsigned char)text[max] & 0xC0) == 0x80) max--;
  return max;
}

void make_printable(char *text) {
  size_t n = copy_printable(text, text, strlen(text));
  text[n] = '\0';
}
