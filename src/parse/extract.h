// Parsing the XML weather document into the weather record.
#ifndef TAVIK_PARSE_EXTRACT_H
#define TAVIK_PARSE_EXTRACT_H

#include "parse/weather.h"

// Initialises w, then hands the whole document to expat in one call; w->ok
// is 1 only when the parser accepted it. With debug 1 the parse traces the
// elements and character runs on stderr. Wrong nesting of known elements is
// fatal: a message, then fatal_exit(1).
void extract_data(const char *doc, int length, int debug, weather *w);

// One element of the document the parse reads: its name (matched in any
// letter case), the element it must be inside (NULL for the root) and the
// attributes it reads, NULL after the last.
struct known_element {
  const char *name;
  const char *parent;
  const char *attributes[5];
};

// The parse's own element table, in its order, for the check that the
// manual describes the same document: fills out with up to max entries and
// returns how many there are.
int known_elements(known_element *out, int max);

#endif
