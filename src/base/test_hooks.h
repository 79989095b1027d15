// TEST SEAMS. Nothing in a normal run changes these: tests and fuzzers set
// them to watch fatal conditions happen, to make allocations fail and to
// keep the sandbox out of their own process.
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

// When set, enter_sandbox (http/sandbox.h) calls it with the connected
// socket instead of confining the process, and returns what it returns: a
// test that runs the retrieval inside the test process would otherwise
// confine the test process itself.
typedef bool (*sandbox_hook_fn)(int sock);
extern sandbox_hook_fn sandbox_hook;

#endif
