// The document the parse reads, as a table: each known element, the state
// it must open in and the state while it is open, and the attributes it
// stores into the weather record. The manual's table of the document is
// checked against this one.
#ifndef TAVIK_PARSE_ELEMENTS_H
#define TAVIK_PARSE_ELEMENTS_H

#include <stddef.h>

// Parse states; the numbers appear in the fatal messages.
enum {
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

enum field_kind { FIELD_INT, FIELD_REAL, FIELD_TEXT };

struct attribute_rule {
  const char *name;
  field_kind kind;
  size_t offset;
  size_t size;  // text fields only
};

struct element_rule {
  const char *name;
  int required;  // state the element must open in, restored at its end
  int state;     // state while it is open
  attribute_rule attrs[4];
};

// The elements, in the order the manual lists them.
extern const element_rule elements[];
extern const size_t element_count;

#endif
