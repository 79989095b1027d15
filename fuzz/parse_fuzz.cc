// Fuzzes the document parse, normalisation and output. The first byte
// holds flags: debug trace, units and compressed output; the second is the
// delimiter. A wrongly nested document ends a run: here the fatal hook of
// the test build jumps back to the entry instead, and the blocks the parse
// held (expat's) are freed, so that the fuzzer goes on with the next input.
#include <setjmp.h>
#include <stdint.h>
#include <stdlib.h>

#include <unordered_set>

#include "base/test_hooks.h"
#include "parse/extract.h"
#include "report/report.h"

static jmp_buf fatal_return;
static std::unordered_set<void *> *live;

static void *tracked_malloc(size_t n) {
  void *p = malloc(n);
  if (p != nullptr) live->insert(p);
  return p;
}

static void *tracked_realloc(void *old, size_t n) {
  void *p = realloc(old, n);
  if (p != nullptr) {
    live->erase(old);
    live->insert(p);
  }
  return p;
}

static void tracked_free(void *p) {
  live->erase(p);
  free(p);
}

[[noreturn]] static void back_to_entry(int) { longjmp(fatal_return, 1); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  static std::unordered_set<void *> blocks;
  live = &blocks;
  blocks.clear();
  run_settings s{};
  s.debug = data[0] & 1;
  s.units = data[0] & 2 ? UNITS_IMPERIAL : UNITS_METRIC;
  s.compressed = (data[0] & 4) != 0;
  s.delimiter = (char)data[1];
  tavik_malloc = tracked_malloc;
  tavik_realloc = tracked_realloc;
  tavik_free = tracked_free;
  tavik_fatal_hook = back_to_entry;
  weather w;
  if (setjmp(fatal_return) == 0) {
    extract_data((const char *)(data + 2), (int)(size - 2), s.debug, &w);
    if (w.ok) {
      massage_weather(&s, &w);
      print_weather(&s, &w);
    }
  } else {
    for (void *p : blocks) free(p);
  }
  blocks.clear();
  tavik_malloc = malloc;
  tavik_realloc = realloc;
  tavik_free = free;
  tavik_fatal_hook = nullptr;
  return 0;
}
