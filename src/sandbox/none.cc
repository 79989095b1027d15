// No sandbox: systems that have none, and builds configured without it.
#include "sandbox/sandbox.h"
#include "sandbox/sandbox_hook.h"

bool enter_sandbox(int sock, bool say_why) {
  if (sandbox_hook != nullptr) return sandbox_hook(sock);
  (void)say_why;
  return false;
}
