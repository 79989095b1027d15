// TEST SEAMS. Nothing in a normal run changes these: tests and fuzzers set
// them to watch fatal conditions happen and to make allocations fail.
#ifndef TAVIK_BASE_TEST_HOOKS_H
#define TAVIK_BASE_TEST_HOOKS_H

#include <stddef.h>

// When set, fatal_exit calls it instead of exit() and returns.
typedef void (*fatal_hook_fn)(int status);
extern fatal_hook_fn fatal_hook;

// The program's (and expat's) allocations: malloc and realloc unless a
// test replaces them to fail the n-th request.
extern void *(*tavik_malloc)(size_t);
extern void *(*tavik_realloc)(void *, size_t);

#endif
