// Parsing the XML weather document into the weather record.
#ifndef TAVIK_PARSE_EXTRACT_H
#define TAVIK_PARSE_EXTRACT_H

#include <stddef.h>

#include "parse/weather.h"

// Parse states; the numbers appear in the fatal messages.
enum parse_state_id {
  STATE_TOP = 0,
  STATE_CURRENT = 1,
  STATE_CITY = 2,
  STATE_COORD = 3,
  STATE_COUNTRY = 4,
  STATE_SUN = 5,
  STATE_TEMPERATURE = 6,
  STATE_HUMIDITY = 7,
  STATE_PRESSURE = 8,
  STATE_WIND = 9,
  STATE_SPEED = 10,
  STATE_GUSTS = 11,
  STATE_DIRECTION = 12,
  STATE_CLOUDS = 13,
  STATE_VISIBILITY = 14,
  STATE_PRECIPITATION = 15,
  STATE_LASTUPDATE = 16
};

enum { STATE_STACK_SIZE = 9, COUNTRY_TEXT_MAX = 200 };

// Initialises w, then hands the whole document to expat in one call; w->ok
// is 1 only when the parser accepted it. Wrong nesting of known elements is
// fatal: a message, then fatal_exit(1).
void extract_data(const char *doc, int length, const run_settings *s,
                  weather *w);

// Copies text into a field of size bytes, cutting it to at most size - 1
// bytes without splitting a UTF-8 character.
void copy_field(char *field, size_t size, const char *text, size_t len);

#endif
