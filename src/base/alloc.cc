// Heap blocks: the C library's, or a test's through its hooks.
#include <stdlib.h>
#include <string.h>

#include "base/alloc.h"
#include "base/diag.h"
#include "base/test_hooks.h"

#ifndef TAVIK_TEST_HOOKS
#define tavik_malloc malloc
#define tavik_realloc realloc
#endif

// The one place where an exhausted heap becomes a diagnostic.
void report_out_of_memory(void) { report_error("cannot allocate memory"); }

static void *reported(void *block) {
  if (block == nullptr) report_out_of_memory();
  return block;
}

void *alloc_or_report(size_t size) { return reported(tavik_malloc(size)); }

void *realloc_or_report(void *block, size_t size) {
  return reported(tavik_realloc(block, size));
}

void *shrink_block(void *block, size_t size) {
  void *p = tavik_realloc(block, size);
  return p != nullptr ? p : block;
}

char *copy_text(const char *text) {
  size_t n = strlen(text) + 1;
  char *p = (char *)alloc_or_report(n);
  if (p == nullptr) fatal_exit(1);
  memcpy(p, text, n);
  return p;
}
