// Parsing the XML weather document into the weather record.
#ifndef TAVIK_PARSE_EXTRACT_H
#define TAVIK_PARSE_EXTRACT_H

#include "parse/weather.h"

// Initialises w, then hands the whole document to expat in one call; w->ok
// is 1 only when the parser accepted it. With debug 1 the parse traces the
// elements and character runs on stderr. Wrong nesting of known elements is
// fatal: a message, then fatal_exit(1).
void extract_data(const char *doc, int length, int debug, weather *w);

#endif
