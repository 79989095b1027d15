// Runs a program on a system that refuses the sandbox, as an old kernel or
// a strict container does, so that the tests can see the run go on:
//   refuse-sandbox nnp PROGRAM [ARG...]
//     prctl(PR_SET_NO_NEW_PRIVS) fails with EINVAL (a kernel before 3.5)
//   refuse-sandbox seccomp PROGRAM [ARG...]
//     seccomp() fails with ENOSYS and prctl(PR_SET_SECCOMP) with EINVAL (a
//     kernel without seccomp filters)
//   refuse-sandbox forbid PROGRAM [ARG...]
//     seccomp() and prctl(PR_SET_SECCOMP) fail with EPERM (a container
//     whose own filter forbids filters)
// It loads a filter of its own that refuses those calls alone, then
// executes PROGRAM with PROGRAM as its argv[0]. Linux only.
#include <errno.h>
#include <seccomp.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char **argv) {
  bool nnp = argc > 2 && strcmp(argv[1], "nnp") == 0;
  bool seccomp = argc > 2 && strcmp(argv[1], "seccomp") == 0;
  bool forbid = argc > 2 && strcmp(argv[1], "forbid") == 0;
  if (!nnp && !seccomp && !forbid) {
    fprintf(stderr,
            "usage: refuse-sandbox nnp|seccomp|forbid PROGRAM [ARG...]\n");
    return 2;
  }
  scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ALLOW);
  if (ctx == nullptr) {
    fprintf(stderr, "refuse-sandbox: seccomp_init failed\n");
    return 2;
  }
  const scmp_arg_cmp set_nnp = {0, SCMP_CMP_EQ, PR_SET_NO_NEW_PRIVS, 0};
  const scmp_arg_cmp set_seccomp = {0, SCMP_CMP_EQ, PR_SET_SECCOMP, 0};
  int rc;
  if (nnp) {
    rc = seccomp_rule_add_array(ctx, SCMP_ACT_ERRNO(EINVAL), SCMP_SYS(prctl), 1,
                                &set_nnp);
  } else {
    const int call_error = seccomp ? ENOSYS : EPERM;
    const int prctl_error = seccomp ? EINVAL : EPERM;
    rc =
        seccomp_rule_add(ctx, SCMP_ACT_ERRNO(call_error), SCMP_SYS(seccomp), 0);
    if (rc == 0)
      rc = seccomp_rule_add_array(ctx, SCMP_ACT_ERRNO(prctl_error),
                                  SCMP_SYS(prctl), 1, &set_seccomp);
  }
  // Loading sets no-new-privileges first, as an unprivileged filter must.
  if (rc == 0) rc = seccomp_load(ctx);
  seccomp_release(ctx);
  if (rc != 0) {
    fprintf(stderr, "refuse-sandbox: cannot load the filter: %s\n",
            strerror(-rc));
    return 2;
  }
  execv(argv[2], argv + 2);
  fprintf(stderr, "refuse-sandbox: cannot run %s: %s\n", argv[2],
          strerror(errno));
  return 127;
}
