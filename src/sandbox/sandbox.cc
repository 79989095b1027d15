// The sandbox's entry point and the steps every mechanism shares.
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "base/diag.h"
#include "sandbox/mechanism.h"
#include "sandbox/sandbox.h"

bool sandbox_refused(bool say_why, const char *step, int error) {
  if (say_why)
    report_warning("running without a sandbox (%s: %s)", step, strerror(error));
  return false;
}

// stdio sizes stdout's buffer and picks line buffering for a terminal at
// its first write, by asking the kernel about the descriptor (fstat, then
// a terminal query). Inside the sandbox that first write comes too late to
// ask, so the choice is made here, as stdio would make it; stderr is
// unbuffered and asks nothing.
void settle_stdout_buffering(void) {
  static char buf[BUFSIZ];
  setvbuf(stdout, buf, isatty(STDOUT_FILENO) ? _IOLBF : _IOFBF, sizeof buf);
}

bool enter_sandbox(int sock, bool say_why) {
  return confine_process(sock, say_why);
}
