// Text handling shared by the stages: case folding for the program name
// and the configured URL, and making the server's text safe to show.
#ifndef TAVIK_BASE_TEXT_H
#define TAVIK_BASE_TEXT_H

#include <stddef.h>

// Folds A-Z to a-z in place; bytes with the high bit set are left alone.
void lowercase_in_place(char *text);

// Copies n bytes of text to out (which may be text itself) so that none of
// it can act on a terminal or split a line: each C0 control (tab, CR and LF
// included), DEL, C1 control (U+0080 to U+009F) and byte outside a
// well-formed UTF-8 sequence becomes one "?". Every other character is
// kept. Returns the length written, which is at most n.
size_t copy_printable(char *out, const char *text, size_t n);

// The length of the longest start of text, at most max bytes, that does not
// split a UTF-8 character. text must hold more than max bytes.
size_t utf8_cut(const char *text, size_t max);

// copy_printable on a terminated text, in place.
void make_printable(char *text);

#endif
