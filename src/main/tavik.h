// Shared state and diagnostics of the tavik run: the settings record,
// the program name and the routines every stage reports through.
#ifndef TAVIK_MAIN_TAVIK_H
#define TAVIK_MAIN_TAVIK_H

#include <stddef.h>

#define TAVIK_VERSION_MAJOR 1
#define TAVIK_VERSION_MINOR 2

// The build may set another path (cmake -DTAVIK_CONFIG_FILE=...).
#ifdef TAVIK_CONFIG_FILE
#define DEFAULT_CONFIG_FILE TAVIK_CONFIG_FILE
#else
#define DEFAULT_CONFIG_FILE "/usr/local/etc/tavik.conf"
#endif

enum { UNITS_IMPERIAL = 1, UNITS_METRIC = 2 };

// Everything the run needs to know, filled by the configuration reader and
// the option scan, read-only from retrieval on.
struct run_settings {
  int compressed;   // 1: one delimited line instead of the text report
  int debug;        // 1: raw dump on stdout, parse trace on stderr
  char delimiter;   // separator of the delimited line
  int location;     // numeric location; 0 means none
  int units;        // 0 unset, UNITS_IMPERIAL or UNITS_METRIC
  char *appid;      // heap copy, as written in the file
  char *url;        // heap copy, folded to lower case, begins "http://"
};

extern run_settings settings;
extern const char *program_name;

// Derives program_name from argv[0]: last path component, folded to lower
// case in place. A missing argv[0], or one without a last component, gives
// "tavik".
void set_program_name(char *argv0);

// "program: message\n" on stderr; the caller decides what happens next.
void report_error(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void report_warning(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// A heap block of size bytes, or NULL after "cannot allocate memory".
void *alloc_or_report(size_t size);

// Heap copy of text. On exhaustion it reports and ends the run through
// fatal_exit(1); NULL comes back only when a test hook let it return.
char *copy_text(const char *text);

// Ends the run with the given status. Fatal conditions deep inside a stage
// go through here so that tests and fuzzers can watch them happen: with a
// hook installed the hook runs instead of exit() and the caller unwinds.
typedef void (*fatal_hook_fn)(int status);
extern fatal_hook_fn fatal_hook;
void fatal_exit(int status);

// Allocation hooks: malloc and realloc by default. The allocation-failure
// tests replace them to fail the n-th request.
extern void *(*tavik_malloc)(size_t);
extern void *(*tavik_realloc)(void *, size_t);

// The help text, on stderr.
void usage(void);

#endif
