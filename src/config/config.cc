// Configuration reader. Lines are read in 250-byte pieces with fgets, so a
// long physical line becomes several numbered lines, as it always has.
#include <ctype.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "config/config.h"

enum { CONFIG_LINE_SIZE = 250 };

void lowercase_in_place(char *text) {
  for (unsigned char *p = (unsigned char *)text; *p; p++)
    if (*p < 0x80) *p = (unsigned char)tolower(*p);
}

void config_error(int line, const char *fmt, ...) {
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
  if (line != 0)
    report_error("config: line %d: %s", line, text);
  else
    report_error("config: %s", text);
  if (text != small) free(text);
}

// The checks and the store for one keyword line. Returns 1 when it
// reported an error, 0 otherwise.
static int handle_keyword(int line, const char *keyword, char *value,
                          const char *extra, run_settings *s) {
  if (strcasecmp(keyword, "URL") == 0) {
    if (s->url != nullptr) {
      config_error(line, "URL specified more than once");
    } else if (extra != nullptr) {
      config_error(line, "syntax error (extra on end)");
    } else if (value == nullptr) {
      config_error(line, "no URL after URL command");
    } else {
      lowercase_in_place(value);
      if (strncmp(value, "http://", 7) != 0) {
        config_error(line, "bad scheme in URL value");
      } else {
        s->url = copy_text(value);
        return 0;
      }
    }
    return 1;
  }
  if (strcasecmp(keyword, "APPID") == 0) {
    if (s->appid != nullptr) {
      config_error(line, "APPID specified more than once");
    } else if (extra != nullptr) {
      config_error(line, "syntax error (extra on end)");
    } else if (value == nullptr) {
      config_error(line, "no value after APPID command");
    } else {
      s->appid = copy_text(value);
      return 0;
    }
    return 1;
  }
  if (strcasecmp(keyword, "LOCATION") == 0) {
    if (s->location != 0) {
      config_error(line, "LOCATION specified more than once");
    } else if (extra != nullptr) {
      config_error(line, "syntax error (extra on end)");
    } else if (value == nullptr) {
      config_error(line, "no value after LOCATION command");
    } else {
      s->location = (int)strtol(value, nullptr, 10);
      return 0;
    }
    return 1;
  }
  if (strcasecmp(keyword, "UNITS") == 0) {
    if (s->units != 0) {
      config_error(line, "UNITS specified more than once");
    } else if (extra != nullptr) {
      config_error(line, "syntax error (extra on end)");
    } else if (value == nullptr) {
      config_error(line, "no value after UNITS command");
    } else if (strcasecmp(value, "imperial") == 0) {
      s->units = UNITS_IMPERIAL;
      return 0;
    } else if (strcasecmp(value, "metric") == 0) {
      s->units = UNITS_METRIC;
      return 0;
    } else {
      config_error(line, "invalid value for UNITS command");
    }
    return 1;
  }
  config_error(line, "unrecognised command '%s'", keyword);
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
  while (fgets(buf, sizeof buf, f) != nullptr) {
    size_t len = strlen(buf);
    if (len > 0 && buf[len - 1] == '\n') buf[len - 1] = '\0';
    char *hash = strchr(buf, '#');
    if (hash != nullptr) *hash = '\0';
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
