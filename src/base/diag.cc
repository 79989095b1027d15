// Diagnostics and the way out of the run.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/diag.h"
#include "base/test_hooks.h"
#include "base/text.h"

const char *program_name = "tavik";

void set_program_name(char *argv0) {
  program_name = "tavik";
  if (argv0 == nullptr) return;
  char *slash = strrchr(argv0, '/');
  char *name = slash ? slash + 1 : argv0;
  // Linux hands a program started without any arguments an empty argv[0]:
  // that, like a path ending in "/", leaves no name to derive.
  if (*name == '\0') return;
  lowercase_in_place(name);
  program_name = name;
}

// Writes "program: message\n" with a single write so that the line cannot
// be torn apart by other output to the same place. The line is built in a
// small buffer when it fits and on the heap when it does not (a long
// message, or a program started under a very long name). The heap is asked
// directly, not through the hooks: a diagnostic must not fail for a test's
// sake, and its fallback prints in pieces instead.
static void vreport(const char *fmt, va_list ap) {
  char small[512];
  va_list again;
  va_copy(again, ap);
  size_t name = strlen(program_name);
  int body = vsnprintf(nullptr, 0, fmt, ap);
  if (body < 0) {
    va_end(again);
    return;
  }
  size_t need = name + 2 + (size_t)body + 2;  // name, ": ", body, LF, NUL
  char *buf = small;
  if (need > sizeof small) {
    buf = (char *)malloc(need);
    if (buf == nullptr) {
      // Too little memory for one buffer: say it in pieces instead.
      fputs(program_name, stderr);
      fputs(": ", stderr);
      vfprintf(stderr, fmt, again);
      fputc('\n', stderr);
      va_end(again);
      return;
    }
  }
  memcpy(buf, program_name, name);
  memcpy(buf + name, ": ", 2);
  vsnprintf(buf + name + 2, (size_t)body + 1, fmt, again);
  va_end(again);
  buf[need - 2] = '\n';
  fwrite(buf, 1, need - 1, stderr);
  if (buf != small) free(buf);
}

void report_error(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vreport(fmt, ap);
  va_end(ap);
}

void report_warning(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vreport(fmt, ap);
  va_end(ap);
}

void fatal_exit(int status) {
#ifdef TAVIK_TEST_HOOKS
  if (tavik_fatal_hook != nullptr) tavik_fatal_hook(status);
#endif
  exit(status);
}
