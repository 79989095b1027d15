// The test seams (base/test_hooks.h) as a run has them until a test or a
// fuzzer changes them: the C library's own heap, and no fatal hook.
#include "base/test_hooks.h"

#include <stdlib.h>

void *(*tavik_malloc)(size_t) = malloc;
void *(*tavik_realloc)(void *, size_t) = realloc;
void (*tavik_free)(void *) = free;
void (*tavik_fatal_hook)(int status) = nullptr;
