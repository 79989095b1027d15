// Fuzzes the document parse, normalisation and output. The first byte
// holds flags: debug trace, units, compressed output, and whether to check
// the sliced parse against the single one (the high nibble then sets the
// slice size); the second is the delimiter. Fatal nesting is observed
// through the fatal hook instead of ending the fuzzer.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "parse/extract.h"
#include "report/report.h"

static int fatal_seen;
static void note_fatal(int) { fatal_seen++; }

// Parses with the given slice size; returns how many fatal exits it saw.
// With trace, what the parse writes to stderr (the -D trace, warnings and
// fatal messages) is gathered there instead.
static int parse_with(size_t slice, const uint8_t *doc, size_t size,
                      const run_settings *s, weather *w,
                      std::string *trace = nullptr) {
  parse_slice_size = slice;
  fatal_seen = 0;
  memset(w, 0, sizeof *w);
  FILE *saved = stderr;
  char *text = nullptr;
  size_t text_len = 0;
  if (trace != nullptr) stderr = open_memstream(&text, &text_len);
  extract_data((const char *)doc, (int)size, s, w);
  if (trace != nullptr) {
    fclose(stderr);
    stderr = saved;
    trace->assign(text, text_len);
    free(text);
  }
  return fatal_seen;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  run_settings s{};
  s.debug = data[0] & 1;
  s.units = data[0] & 2 ? UNITS_IMPERIAL : UNITS_METRIC;
  s.compressed = (data[0] & 4) != 0;
  s.delimiter = (char)data[1];
  fatal_hook = note_fatal;
  const size_t whole = (size_t)1 << 30;
  weather w;
  if (data[0] & 8) {
    // Slices must not change anything the parse produces: the record, the
    // outcome, and every byte of the trace and the messages.
    s.debug = 1;
    std::string trace, sliced_trace;
    int fatal = parse_with(whole, data + 2, size - 2, &s, &w, &trace);
    weather sliced;
    size_t slice = 1 + (size_t)(data[0] >> 4) * 37;
    int sliced_fatal =
        parse_with(slice, data + 2, size - 2, &s, &sliced, &sliced_trace);
    if (sliced_fatal != fatal || memcmp(&sliced, &w, sizeof w) != 0 ||
        sliced_trace != trace)
      __builtin_trap();
  } else {
    parse_with(whole, data + 2, size - 2, &s, &w);
  }
  parse_slice_size = whole;
  if (w.ok) {
    massage_weather(&s, &w);
    print_weather(&s, &w);
  }
  return 0;
}
