// Configuration reader. Lines are read in 250-byte pieces with fgets, so a
// long physical line becomes several numbered lines, as it always has; a
// comment, though, runs on to the end of its physical line.
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "base/alloc.h"
#include "base/diag.h"
#include "base/text.h"
#include "config/config.h"

enum { CONFIG_LINE_SIZE = 250 };

// "config: line N: message", or "config: message" for line 0, through
// report_error. The message is composed in a small buffer, or on the heap
// when it does not fit, so that it is printed whole, however long; that
// heap is asked directly, as for any diagnostic, and a failure there prints
// the cut text instead. The file's text and its path come from whoever
// wrote them: their control characters are shown as "?", as the server's
// text is, so that neither can act on the terminal.
static void config_error(int line, const char *fmt, ...)
    __attribute__((format(printf, 2, 3)));
static void config_error(int line, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  char small[200];
  va_list again;
  va_copy(again, ap);
  int n = vsnprintf(small, sizeof small, fmt, ap);
  va_end(ap);
  char *text = small;
  if (n >= (int)sizeof small) {
    text = (char *)malloc((size_t)n + 1);
    if (text != nullptr)
      vsnprintf(text, (size_t)n + 1, fmt, again);
    else
      text = small;  // the cut text is better than none
  }
  va_end(again);
  make_printable(text);
  if (line != 0)
    report_error("config: line %d: %s", line, text);
  else
    report_error("config: %s", text);
  if (text != small) free(text);
}

// How each keyword's value is stored. Each returns false after its
// message when it refuses the value.

static bool store_url(int line, char *value, run_settings *s) {
  lowercase_in_place(value);
  if (strncmp(value, "http://", 7) != 0) {
    config_error(line, "bad scheme in URL value");
    return false;
  }
  s->url = copy_text(value);
  return true;
}

static bool store_appid(int, char *value, run_settings *s) {
  s->appid = copy_text(value);
  return true;
}

static bool store_location(int, char *value, run_settings *s) {
  s->location = (int)strtol(value, nullptr, 10);
  return true;
}

static bool store_units(int line, char *value, run_settings *s) {
  if (strcasecmp(value, "imperial") == 0) {
    s->units = UNITS_IMPERIAL;
  } else if (strcasecmp(value, "metric") == 0) {
    s->units = UNITS_METRIC;
  } else {
    config_error(line, "invalid value for UNITS command");
    return false;
  }
  return true;
}

namespace {

// One keyword of the file: its name (as the messages spell it; matched in
// any case), its message for a missing value, whether its field already
// holds a value, and how a value is stored.
struct keyword {
  const char *name;
  const char *no_value;
  bool (*is_set)(const run_settings *s);
  bool (*store)(int line, char *value, run_settings *s);
};

}  // namespace

static const keyword keywords[] = {
    {"URL", "no URL after URL command",
     [](const run_settings *s) { return s->url != nullptr; }, store_url},
    {"APPID", "no value after APPID command",
     [](const run_settings *s) { return s->appid != nullptr; }, store_appid},
    {"LOCATION", "no value after LOCATION command",
     [](const run_settings *s) { return s->location != 0; }, store_location},
    {"UNITS", "no value after UNITS command",
     [](const run_settings *s) { return s->units != 0; }, store_units},
};

// The checks and the store for one keyword line, in this order: already
// set, a third token, no value, a refused value. Returns 1 when it
// reported an error, 0 otherwise.
static int handle_keyword(int line, const char *word, char *value,
                          const char *extra, run_settings *s) {
  for (const keyword &k : keywords) {
    if (strcasecmp(word, k.name) != 0) continue;
    if (k.is_set(s))
      config_error(line, "%s specified more than once", k.name);
    else if (extra != nullptr)
      config_error(line, "syntax error (extra on end)");
    else if (value == nullptr)
      config_error(line, "%s", k.no_value);
    else
      return k.store(line, value, s) ? 0 : 1;
    return 1;
  }
  config_error(line, "unrecognised command '%s'", word);
  return 1;
}

int read_config(const char *path, run_settings *s) {
  *s = run_settings();
  FILE *f = fopen(path, "r");
  if (f == nullptr) {
    config_error(0, "cannot open configuration file %s", path);
    return 1;
  }
  char buf[CONFIG_LINE_SIZE];
  int line = 1;
  int errors = 0;
  // Set once a "#" has been met: the rest of that physical line, in however
  // many pieces it comes, is comment, so that text the user commented out
  // is never taken as settings.
  bool in_comment = false;
  for (;;) {
    // fgets writes its terminator into the last byte only when it filled
    // the buffer; the mark tells so even when the piece holds a NUL.
    buf[sizeof buf - 1] = 'x';
    if (fgets(buf, sizeof buf, f) == nullptr) break;
    bool line_goes_on =
        buf[sizeof buf - 1] == '\0' && buf[sizeof buf - 2] != '\n';
    size_t len = strlen(buf);
    if (len > 0 && buf[len - 1] == '\n') buf[len - 1] = '\0';
    char *hash = in_comment ? buf : strchr(buf, '#');
    if (hash != nullptr) {
      *hash = '\0';
      in_comment = line_goes_on;
    }
    char *keyword = strtok(buf, " \t");
    if (keyword != nullptr) {
      char *value = strtok(nullptr, " \t");
      char *extra = value ? strtok(nullptr, " \t") : nullptr;
      errors += handle_keyword(line, keyword, value, extra, s);
    }
    // An endless source (a device, a pipe) is read on as any file is, but
    // its line numbers stop at the largest one instead of overflowing.
    if (line < INT_MAX) line++;
  }
  // A file that opened but could not be read (a directory, an I/O error)
  // is reported as such: its missing entries say nothing about the file.
  bool unreadable = ferror(f) != 0;
  fclose(f);
  if (unreadable) {
    config_error(0, "cannot read configuration file %s", path);
    return errors + 1;
  }
  if (s->url == nullptr) {
    config_error(0, "a URL entry must be given");
    errors++;
  }
  if (s->units == 0) s->units = UNITS_METRIC;
  if (s->appid == nullptr) {
    config_error(0, "an APPID entry must be given");
    errors++;
  }
  return errors;
}
