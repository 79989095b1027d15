// Fuzzes the document parse, normalisation and output. The first byte
// holds flags: debug trace, units and compressed output; the second is the
// delimiter. Fatal nesting is observed through the fatal hook instead of
// ending the fuzzer.
#include <stdint.h>

#include "base/test_hooks.h"
#include "parse/extract.h"
#include "report/report.h"

static void note_fatal(int) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  run_settings s{};
  s.debug = data[0] & 1;
  s.units = data[0] & 2 ? UNITS_IMPERIAL : UNITS_METRIC;
  s.compressed = (data[0] & 4) != 0;
  s.delimiter = (char)data[1];
  fatal_hook = note_fatal;
  weather w;
  extract_data((const char *)(data + 2), (int)(size - 2), s.debug, &w);
  if (w.ok) {
    massage_weather(&s, &w);
    print_weather(&s, &w);
  }
  return 0;
}
