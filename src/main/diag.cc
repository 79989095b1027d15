// Diagnostics, the program name and allocation for the whole program.
#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "main/tavik.h"

run_settings settings;
const char *program_name = "tavik";
fatal_hook_fn fatal_hook = nullptr;
void *(*tavik_malloc)(size_t) = malloc;
void *(*tavik_realloc)(void *, size_t) = realloc;

void set_program_name(char *argv0) {
  program_name = "tavik";
  if (argv0 == nullptr) return;
  char *slash = strrchr(argv0, '/');
  char *name = slash ? slash + 1 : argv0;
  // Linux hands a program started without any arguments an empty argv[0]:
  // that, like a path ending in "/", leaves no name to derive.
  if (*name == '\0') return;
  for (unsigned char *p = (unsigned char *)name; *p; p++)
    if (*p < 0x80) *p = (unsigned char)tolower(*p);
  program_name = name;
}

// Writes "program: message\n" with a single write so that the line cannot
// be torn apart by other output to the same place. The line is built in a
// small buffer when it fits and on the heap when it does not (a long
// message, or a program started under a very long name).
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

void *alloc_or_report(size_t size) {
  void *p = tavik_malloc(size);
  if (p == nullptr) report_error("cannot allocate memory");
  return p;
}

char *copy_text(const char *text) {
  size_t n = strlen(text) + 1;
  char *p = (char *)alloc_or_report(n);
  if (p == nullptr) {
    fatal_exit(1);
    return nullptr;
  }
  memcpy(p, text, n);
  return p;
}

void fatal_exit(int status) {
  if (fatal_hook != nullptr) {
    fatal_hook(status);
    return;
  }
  exit(status);
}

void usage(void) {
  static const char *const lines[] = {
      "%s: Weather utility\n",
      "Synopsis: %s [options]\n",
      " Options:\n",
      "    -c file      specify alternate configuration file\n",
      "    -d delim     sepecify output delimiter (default @)\n",
      "    -D           enable debug output\n",
      "    -h           display this help\n",
      "    -l location  set location (overrides config)\n",
      "    -u units     select units: (i)mperial or (m)etric\n",
      "    -z           generate output in compressed format\n",
      " \n",
      "Default configuration file is " DEFAULT_CONFIG_FILE "\n",
  };
  for (const char *line : lines) fprintf(stderr, line, program_name);
  fprintf(stderr, "\nThis is version %d.%d\n", TAVIK_VERSION_MAJOR,
          TAVIK_VERSION_MINOR);
}
