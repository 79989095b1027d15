// The sandbox on Linux: no new privileges and a seccomp filter, made with
// libseccomp.
#include <errno.h>
#include <seccomp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "sandbox/mechanism.h"

// Adds the calls the run still makes once confined, each on one line with
// why. Every other call fails with EPERM. Returns 0 or a negative errno.
static int allow_run_calls(scmp_filter_ctx ctx, int sock) {
  // The process has one thread, whose ID is the process's.
  const scmp_datum_t self = (scmp_datum_t)getpid();
  const scmp_arg_cmp on_sock = {0, SCMP_CMP_EQ, (scmp_datum_t)sock, 0};
  const scmp_arg_cmp on_stdout = {0, SCMP_CMP_EQ, STDOUT_FILENO, 0};
  const scmp_arg_cmp on_stderr = {0, SCMP_CMP_EQ, STDERR_FILENO, 0};
  const scmp_arg_cmp no_exec = {2, SCMP_CMP_MASKED_EQ, PROT_EXEC, 0};
  const scmp_arg_cmp anon = {3, SCMP_CMP_MASKED_EQ, MAP_ANONYMOUS,
                             MAP_ANONYMOUS};
  const scmp_arg_cmp to_self = {0, SCMP_CMP_EQ, self, 0};
  const scmp_arg_cmp thread_self = {1, SCMP_CMP_EQ, self, 0};
  const scmp_arg_cmp abort_2 = {2, SCMP_CMP_EQ, SIGABRT, 0};
  const scmp_arg_cmp abort_1 = {1, SCMP_CMP_EQ, SIGABRT, 0};
  const scmp_arg_cmp abort_0 = {0, SCMP_CMP_EQ, SIGABRT, 0};
  const scmp_arg_cmp unblock = {0, SCMP_CMP_EQ, SIG_UNBLOCK, 0};
  const struct {
    int call;
    unsigned int conditions;  // how many of when[] must hold
    scmp_arg_cmp when[3];
  } allowed[] = {
      // clang-format off
      {SCMP_SYS(sendto),          1, {on_sock}},    // send(): the request
      {SCMP_SYS(recvfrom),        1, {on_sock}},    // recv(): the answer
      {SCMP_SYS(pselect6),        0, {}},           // select() in glibc
      {SCMP_SYS(select),          0, {}},           // select() elsewhere
      {SCMP_SYS(poll),            0, {}},           // the wait past FD_SETSIZE
      {SCMP_SYS(ppoll),           0, {}},           // poll() in some libcs
      {SCMP_SYS(restart_syscall), 0, {}},           // a wait after a stop
      {SCMP_SYS(close),           0, {}},           // the socket, once read
      {SCMP_SYS(write),           1, {on_stdout}},  // the report, -D's dump
      {SCMP_SYS(write),           1, {on_stderr}},  // diagnostics, -D's trace
      {SCMP_SYS(writev),          1, {on_stderr}},  // libc's fatal messages
      {SCMP_SYS(brk),             0, {}},           // the heap: small blocks
      {SCMP_SYS(mmap),            2, {no_exec, anon}},  // large ones, no code
      {SCMP_SYS(mremap),          0, {}},           // a large block grown
      {SCMP_SYS(munmap),          0, {}},           // a large block freed
      {SCMP_SYS(getrandom),       0, {}},           // expat's hash salt
      {SCMP_SYS(exit_group),      0, {}},           // the end of the run
      // abort(): it asks who it is, then sends SIGABRT to itself alone
      {SCMP_SYS(getpid),          0, {}},
      {SCMP_SYS(gettid),          0, {}},
      {SCMP_SYS(tgkill),          3, {to_self, thread_self, abort_2}},
      {SCMP_SYS(tkill),           2, {to_self, abort_1}},  // in other libcs
      // A SIGABRT that the parent left blocked or ignored would otherwise
      // end the run in SIGSEGV: abort() unblocks signals (which only lets
      // this process take its own), and sets SIGABRT's action back to the
      // default. Neither reaches past the process.
      {SCMP_SYS(rt_sigprocmask),  1, {unblock}},
      {SCMP_SYS(rt_sigaction),    1, {abort_0}},
      // clang-format on
  };
  for (const auto &a : allowed) {
    int rc = seccomp_rule_add_array(ctx, SCMP_ACT_ALLOW, a.call, a.conditions,
                                    a.when);
    if (rc != 0) return rc;
  }
  return 0;
}

// seccomp: no new privileges (no set-id program could gain any, were one
// ever run), then the filter. Calls of another system call ABI (i386's or
// x32's on x86-64) fail as unlisted calls do, so they cannot go around it.
bool confine_process(int sock, bool say_why) {
  settle_stdout_buffering();
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
    return sandbox_refused(say_why, "prctl(PR_SET_NO_NEW_PRIVS)", errno);
  scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ERRNO(EPERM));
  if (ctx == nullptr) return sandbox_refused(say_why, "seccomp_init", ENOMEM);
  const char *step = "seccomp_attr_set";
  int rc =
      seccomp_attr_set(ctx, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_ERRNO(EPERM));
  if (rc == 0) {
    step = "seccomp_rule_add";
    rc = allow_run_calls(ctx, sock);
  }
  // A load the kernel refuses comes back as libseccomp's own code
  // (ECANCELED, or EFAULT for an error it does not document, such as the
  // EPERM of a container's own filter): the kernel's answer is in errno.
  int error = 0;
  if (rc == 0) {
    step = "seccomp_load";
    errno = 0;
    rc = seccomp_load(ctx);
    if (rc != 0) error = errno;
  }
  seccomp_release(ctx);
  if (rc != 0) return sandbox_refused(say_why, step, error != 0 ? error : -rc);
  return true;
}
