// TEST SEAM. Nothing in a normal run sets it: a test that runs the
// retrieval inside its own process keeps the sandbox out of that process.
#ifndef TAVIK_SANDBOX_SANDBOX_HOOK_H
#define TAVIK_SANDBOX_SANDBOX_HOOK_H

// When set, enter_sandbox (sandbox/sandbox.h) calls it with the connected
// socket instead of confining the process, and returns what it returns.
typedef bool (*sandbox_hook_fn)(int sock);
extern sandbox_hook_fn sandbox_hook;

#endif
