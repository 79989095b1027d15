// Choosing the configuration file.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "base/alloc.h"
#include "base/diag.h"
#include "config/config_file.h"

// Where the user's own file would be, or NULL when there is no absolute
// directory to look in (a relative one would depend on where the program
// happens to be started).
static char *user_config_file(void) {
  const char *base = getenv("XDG_CONFIG_HOME");
  const char *rest = "/tavik/tavik.conf";
  if (base == nullptr || base[0] != '/') {
    base = getenv("HOME");
    rest = "/.config/tavik/tavik.conf";
    if (base == nullptr || base[0] != '/') return nullptr;
  }
  size_t n = strlen(base) + strlen(rest) + 1;
  char *path = (char *)alloc_or_report(n);
  if (path == nullptr) fatal_exit(1);
  snprintf(path, n, "%s%s", base, rest);
  return path;
}

const char *choose_config_file(const char *command_line_path,
                               const char *system_path) {
  if (command_line_path != nullptr) return command_line_path;
  char *user = user_config_file();
  if (user == nullptr) return system_path;
  // Only a file that is known to be absent lets the system's file stand in
  // for it; one that is there (even a dangling link) or that cannot be
  // looked at is the user's, and reading it reports what is wrong.
  struct stat st;
  if (lstat(user, &st) == 0 || (errno != ENOENT && errno != ENOTDIR)) {
    return user;
  }
  free(user);
  return system_path;
}
