// The test seams' settings (base/test_hooks.h) as a normal run has them:
// nothing intercepted, the C library's own heap.
#include <stdlib.h>

#include "base/test_hooks.h"

fatal_hook_fn fatal_hook = nullptr;

void *(*tavik_malloc)(size_t) = malloc;
void *(*tavik_realloc)(void *, size_t) = realloc;
