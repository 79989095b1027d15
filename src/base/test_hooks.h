// TEST SEAMS, in the copy of the library that tests and fuzzers link
// (compiled with TAVIK_TEST_HOOKS); the programs have none of them.
#ifndef TAVIK_BASE_TEST_HOOKS_H
#define TAVIK_BASE_TEST_HOOKS_H

#include <stddef.h>

#ifdef TAVIK_TEST_HOOKS
// The program's (and expat's) heap: malloc, realloc and free unless a test
// replaces them, to fail the n-th request or to track every block.
extern void *(*tavik_malloc)(size_t);
extern void *(*tavik_realloc)(void *, size_t);
extern void (*tavik_free)(void *);

// When set, fatal_exit calls it before it exits. It must not return: a
// fuzzer jumps back to its entry from here, so that a fatal document ends
// one input and not the fuzzer.
extern void (*tavik_fatal_hook)(int status);
#endif

#endif
