// What tavik-status keeps of the service's text, the same on every system
// and in every locale: Unicode letters, combining marks right after a
// letter (two at most), numbers, space separators as one plain space (runs
// collapsed, ends trimmed) and . , - ' /. Everything else goes: controls
// and format characters (bidi overrides, zero-width ones), line and
// paragraph separators, symbols and other punctuation (every bar's markup
// among them), private use, unassigned code points and bytes that are not
// well-formed UTF-8.
#ifndef TAVIK_STATUS_CLEAN_H
#define TAVIK_STATUS_CLEAN_H

#include <string>

// The classes of the kept code points; CHAR_OTHER for all the rest.
enum char_class { CHAR_OTHER, CHAR_LETTER, CHAR_MARK, CHAR_NUMBER, CHAR_SPACE };

// The class of code point cp, from the generated table.
char_class class_of(unsigned long cp);

// text, UTF-8 or not, with only the kept characters left, as UTF-8.
std::string clean_text(const std::string &text);

#endif
