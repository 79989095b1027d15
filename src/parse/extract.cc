// The weather document state machine. expat reports element starts, ends
// and character runs; each known element may open only inside one parent
// state, a stack of saved states follows the nesting, and unknown elements
// are transparent.
#include <expat.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "base/alloc.h"
#include "base/diag.h"
#include "base/test_hooks.h"
#include "base/text.h"
#include "parse/elements.h"
#include "parse/extract.h"

enum { STATE_STACK_SIZE = 9, COUNTRY_TEXT_MAX = 200 };

// The machine: whether it traces (-D), the current state, the saved states
// and their number, and the "Country" text gathered so far, its length and
// whether the truncation warning has been given for this element.
static int parse_debug;
static int parse_state;
static int state_stack[STATE_STACK_SIZE];
static int stack_depth;
static char country_text[COUNTRY_TEXT_MAX + 1];
static unsigned int country_len;
static int country_truncated;

#define INT_FIELD(attr, f) \
  { attr, FIELD_INT, offsetof(weather, f), 0 }
#define REAL_FIELD(attr, f) \
  { attr, FIELD_REAL, offsetof(weather, f), 0 }
#define TEXT_FIELD(attr, f) \
  { attr, FIELD_TEXT, offsetof(weather, f), sizeof(((weather *)0)->f) }

// One element a row, its attributes after it.
// clang-format off
const element_rule elements[] = {
    {"Current", STATE_TOP, STATE_CURRENT, {}},
    {"City", STATE_CURRENT, STATE_CITY, {TEXT_FIELD("Name", city)}},
    {"Coord", STATE_CITY, STATE_COORD,
     {REAL_FIELD("Lon", longitude), REAL_FIELD("Lat", latitude)}},
    {"Country", STATE_CITY, STATE_COUNTRY, {}},
    {"Sun", STATE_CITY, STATE_SUN,
     {TEXT_FIELD("Rise", sunrise), TEXT_FIELD("Set", sunset)}},
    {"Temperature", STATE_CURRENT, STATE_TEMPERATURE,
     {INT_FIELD("Value", temperature), INT_FIELD("Min", temp_min),
      INT_FIELD("Max", temp_max), TEXT_FIELD("Unit", temp_unit)}},
    {"Humidity", STATE_CURRENT, STATE_HUMIDITY,
     {INT_FIELD("Value", humidity), TEXT_FIELD("Unit", humidity_unit)}},
    {"Pressure", STATE_CURRENT, STATE_PRESSURE,
     {INT_FIELD("Value", pressure), TEXT_FIELD("Unit", pressure_unit)}},
    {"Wind", STATE_CURRENT, STATE_WIND, {}},
    {"Speed", STATE_WIND, STATE_SPEED,
     {REAL_FIELD("Value", wind_speed), TEXT_FIELD("Name", speed_name)}},
    {"Gusts", STATE_WIND, STATE_GUSTS, {REAL_FIELD("Value", gusts)}},
    {"Direction", STATE_WIND, STATE_DIRECTION,
     {INT_FIELD("Value", wind_dir), TEXT_FIELD("Code", wind_dir_code),
      TEXT_FIELD("Name", wind_dir_name)}},
    {"Clouds", STATE_CURRENT, STATE_CLOUDS,
     {INT_FIELD("Value", clouds), TEXT_FIELD("Name", clouds_name)}},
    {"Visibility", STATE_CURRENT, STATE_VISIBILITY,
     {INT_FIELD("Value", visibility)}},
    {"Precipitation", STATE_CURRENT, STATE_PRECIPITATION,
     {REAL_FIELD("Value", precipitation), TEXT_FIELD("Mode", precip_mode)}},
    {"Lastupdate", STATE_CURRENT, STATE_LASTUPDATE,
     {TEXT_FIELD("Value", last_update)}},
};
// clang-format on
const size_t element_count = sizeof elements / sizeof elements[0];

// Finds the rule for an element name, in any letter case. Documents carry
// many elements that are not in the table, so the first letter is checked
// before the full comparison (all the names begin with a letter, for which
// setting bit 0x20 folds the case exactly).
static const element_rule *find_element(const char *name) {
  unsigned char first = (unsigned char)name[0] | 0x20;
  for (const element_rule &e : elements)
    if (((unsigned char)e.name[0] | 0x20) == first &&
        strcasecmp(name, e.name) == 0)
      return &e;
  return nullptr;
}

// Copies text into a field of size bytes, cutting it to at most size - 1
// bytes without splitting a UTF-8 character. Whatever the server sent ends
// up on a terminal or in a script's line, so its control characters are
// made printable once here, for every form of output.
static void copy_field(char *field, size_t size, const char *text, size_t len) {
  if (len > size - 1) len = utf8_cut(text, size - 1);
  field[copy_printable(field, text, len)] = '\0';
}

// The -D trace. Element traces and character runs are gathered here and
// written in large pieces: stderr is unbuffered, and a large document would
// otherwise cost a system call per element. Anything else this module
// writes to stderr flushes the trace first, so the order stays as written.
static char trace_buf[1 << 16];
static size_t trace_len;

static void trace_flush(void) {
  if (trace_len > 0) fwrite(trace_buf, 1, trace_len, stderr);
  trace_len = 0;
}

// Adds the trace's own text.
static void trace_put(const char *s, size_t n) {
  if (trace_len + n > sizeof trace_buf) trace_flush();
  memcpy(trace_buf + trace_len, s, n);
  trace_len += n;
}

// Adds the document's text (a name, a character run) in its printable
// form, in pieces that end on a character boundary when it is larger than
// the room left.
static void trace_text(const char *s, size_t n) {
  while (n > 0) {
    size_t room = sizeof trace_buf - trace_len;
    size_t take = room >= n ? n : utf8_cut(s, room);
    if (take == 0) {
      trace_flush();
      continue;
    }
    trace_len += copy_printable(trace_buf + trace_len, s, take);
    s += take;
    n -= take;
  }
}

// "\nHandling <name>\n", or with a slash for an end.
static void trace_element(const char *open, const char *name) {
  trace_put(open, strlen(open));
  trace_text(name, strlen(name));
  trace_put(">\n", 2);
}

// Enters state after checking that the machine is in required; a wrongly
// nested document ends the run here.
static void push_state(int state, int required) {
  if (stack_depth >= STATE_STACK_SIZE) {
    trace_flush();
    fputs("Fatal error: stack overflow\n", stderr);
    fatal_exit(1);
  }
  if (parse_state != required) {
    trace_flush();
    report_error("fatal - moving from state %d, not %d", parse_state, required);
    fatal_exit(1);
  }
  state_stack[stack_depth++] = required;
  parse_state = state;
}

// Restores the saved state and checks it is the expected one.
static void pop_state(int expected) {
  if (stack_depth == 0) {
    trace_flush();
    fputs("Fatal error: stack underflow!\n", stderr);
    fatal_exit(1);
  }
  parse_state = state_stack[--stack_depth];
  if (parse_state != expected) {
    trace_flush();
    report_error("fatal - unstacked state %d, expected %d", parse_state,
                 expected);
    fatal_exit(1);
  }
}

static void store_attribute(weather *w, const attribute_rule &rule,
                            const char *value) {
  char *field = (char *)w + rule.offset;
  switch (rule.kind) {
    case FIELD_INT: {
      int v = (int)strtol(value, nullptr, 10);
      memcpy(field, &v, sizeof v);
      break;
    }
    case FIELD_REAL: {
      float v = strtof(value, nullptr);
      memcpy(field, &v, sizeof v);
      break;
    }
    case FIELD_TEXT:
      copy_field(field, rule.size, value, strlen(value));
      break;
  }
}

static void XMLCALL start_element(void *data, const XML_Char *name,
                                  const XML_Char **atts) {
  weather *w = (weather *)data;
  if (parse_debug == 1) trace_element("\nHandling <", name);
  const element_rule *e = find_element(name);
  if (e == nullptr) return;
  if (e->state == STATE_COUNTRY) {
    country_len = 0;
    country_truncated = 0;
  }
  push_state(e->state, e->required);
  for (const XML_Char **a = atts; a[0] != nullptr; a += 2)
    for (const attribute_rule &rule : e->attrs)
      if (rule.name != nullptr && strcasecmp(a[0], rule.name) == 0)
        store_attribute(w, rule, a[1]);
}

static void XMLCALL end_element(void *data, const XML_Char *name) {
  weather *w = (weather *)data;
  if (parse_debug == 1) trace_element("\nHandling </", name);
  const element_rule *e = find_element(name);
  if (e == nullptr) return;
  if (e->state == STATE_COUNTRY) {
    country_text[country_len] = '\0';
    copy_field(w->country, sizeof w->country, country_text, country_len);
  }
  pop_state(e->required);
}

static void XMLCALL character_data(void *, const XML_Char *s, int len) {
  if (len >= 2 && parse_debug == 1) trace_text(s, (size_t)len);
  if (parse_state != STATE_COUNTRY) return;
  unsigned int n = (unsigned int)len;
  if (country_len + n > COUNTRY_TEXT_MAX) {
    n = COUNTRY_TEXT_MAX - country_len;
    if (country_truncated == 0) {
      trace_flush();
      report_warning("country text truncated");
      country_truncated = 1;
    }
  }
  memcpy(country_text + country_len, s, n);
  country_len += n;
}

#ifdef TAVIK_TEST_HOOKS
// expat's own allocations go through the same hooks as ours, so that the
// allocation-failure tests and the fuzzers reach them too.
static void *hooked_malloc(size_t n) { return tavik_malloc(n); }
static void *hooked_realloc(void *p, size_t n) { return tavik_realloc(p, n); }
static void hooked_free(void *p) { tavik_free(p); }
static const XML_Memory_Handling_Suite hooked_suite = {
    hooked_malloc, hooked_realloc, hooked_free};
#endif

// The record as the parse starts it: every number 0, every text empty, ok
// 0, then the few values that are not.
static void init_record(weather *w) {
  *w = weather();
  strcpy(w->city, "UNKNOWN");
  strcpy(w->country, "UNKNOWN");
  w->precipitation = -1.0f;  // no amount given
}

void extract_data(const char *doc, int length, int debug, weather *w) {
  init_record(w);
#ifdef TAVIK_TEST_HOOKS
  XML_Parser p = XML_ParserCreate_MM(nullptr, &hooked_suite, nullptr);
#else
  XML_Parser p = XML_ParserCreate(nullptr);
#endif
  if (p == nullptr) {
    report_out_of_memory();
    return;
  }
  XML_SetUserData(p, w);
  XML_SetElementHandler(p, start_element, end_element);
  XML_SetCharacterDataHandler(p, character_data);
  parse_debug = debug;
  parse_state = STATE_TOP;
  stack_depth = 0;
  bool parsed = XML_Parse(p, doc, length, 1) == XML_STATUS_OK;
  trace_flush();
  // A document the parser ran out of memory on is not a bad document.
  if (!parsed && XML_GetErrorCode(p) == XML_ERROR_NO_MEMORY)
    report_out_of_memory();
  XML_ParserFree(p);
  if (parsed) w->ok = 1;
}
