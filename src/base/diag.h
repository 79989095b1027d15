// Diagnostics: the program name that prefixes them, the two reporting
// routines, and the way out of the run.
#ifndef TAVIK_BASE_DIAG_H
#define TAVIK_BASE_DIAG_H

extern const char *program_name;

// Derives program_name from argv[0]: last path component, folded to lower
// case in place. A missing argv[0], or one without a last component, gives
// "tavik".
void set_program_name(char *argv0);

// "program: message\n" on stderr in one write; the caller decides what
// happens next. report_warning gives the same output, for the warnings
// after which the run goes on.
void report_error(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void report_warning(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Ends the run with the given status: the way out for fatal conditions deep
// inside a stage.
[[noreturn]] void fatal_exit(int status);

#endif
