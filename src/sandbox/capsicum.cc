// The sandbox on FreeBSD: Capsicum, in the base system.
#include <errno.h>
#include <sys/capsicum.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "sandbox/mechanism.h"

// Limits fd to rights and, when ioctls is not NULL, its ioctls to those
// count commands. Returns the failing call's name, or NULL.
static const char *limit_fd(int fd, const cap_rights_t *rights,
                            const unsigned long *ioctls, size_t count) {
  if (cap_rights_limit(fd, rights) != 0) return "cap_rights_limit";
  if (ioctls != nullptr && cap_ioctls_limit(fd, ioctls, count) != 0)
    return "cap_ioctls_limit";
  return nullptr;
}

// Closes every descriptor but the standard ones and sock. Capability mode
// leaves a descriptor inherited from whoever started the run every right
// it had: a folder's would still open the files under it.
static void close_inherited(int sock) {
  for (int fd = STDERR_FILENO + 1; fd < sock; fd++) close(fd);
  closefrom(sock + 1);
}

// Capsicum: each descriptor keeps what the run does with it, the others
// are closed, then capability mode closes every global namespace (files,
// new connections, programs). A kernel without Capsicum says ENOSYS, and
// the run goes on.
bool confine_process(int sock, bool say_why) {
  settle_stdout_buffering();
  static const unsigned long tty_query[] = {TIOCGETA};  // isatty()
  cap_rights_t rights;
  const char *failed;

  close_inherited(sock);
  cap_rights_init(&rights, CAP_SEND, CAP_RECV, CAP_EVENT);
  if ((failed = limit_fd(sock, &rights, nullptr, 0)) != nullptr)
    return sandbox_refused(say_why, failed, errno);
  // Standard output and error: writing, and what stdio may ask of them
  // (fstat, isatty), both about the descriptor alone.
  cap_rights_init(&rights, CAP_WRITE, CAP_FSTAT, CAP_IOCTL);
  if ((failed = limit_fd(STDOUT_FILENO, &rights, tty_query, 1)) != nullptr ||
      (failed = limit_fd(STDERR_FILENO, &rights, tty_query, 1)) != nullptr)
    return sandbox_refused(say_why, failed, errno);
  cap_rights_init(&rights);  // nothing: the run never reads it
  if ((failed = limit_fd(STDIN_FILENO, &rights, nullptr, 0)) != nullptr)
    return sandbox_refused(say_why, failed, errno);
  if (cap_enter() != 0) return sandbox_refused(say_why, "cap_enter", errno);
  return true;
}
