// tavik-status: the current weather as one short line for a status bar,
// such as "3°C broken clouds". It answers within about a second whatever
// the service does, asks the service at most once an interval, and lets
// nothing of the service's text act on the bar.
//
//   tavik-status [tavik options]
//
// Its settings, cache, lock and what it keeps of the service's text are
// described in tavik-status(1).
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "status/cache.h"
#include "status/key.h"
#include "status/reading.h"
#include "status/refresh.h"

// The system-wide configuration file that tavik reads when -c names none
// and the user has none of their own: the same path tavik is built with.
#ifndef TAVIK_CONFIG_FILE
#define TAVIK_CONFIG_FILE "/usr/local/etc/tavik.conf"
#endif
static const char system_config_file[] = TAVIK_CONFIG_FILE;

// The longest a run waits for a refresh before it shows what it has.
static const int kWaitMs = 1000;

struct status_settings {
  std::string program = "tavik";
  int interval = 600;
  int time_limit = 10;
  bool waybar = false;
};

// Reads the whole seconds of setting name into *value (default kept when
// unset or empty), from min to a day. false after a complaint.
static bool seconds_setting(const char *name, int min, int *value) {
  const char *v = getenv(name);
  if (v == nullptr || *v == '\0') return true;
  for (const char *p = v; *p != '\0'; p++) {
    if (*p < '0' || *p > '9') {
      fprintf(stderr, "tavik-status: %s is whole seconds\n", name);
      return false;
    }
  }
  while (*v == '0' && v[1] != '\0') v++;
  if (strlen(v) > 5 || atol(v) > 86400) {
    fprintf(stderr, "tavik-status: %s is at most 86400 seconds (a day)\n",
            name);
    return false;
  }
  if (atol(v) < min) {
    fprintf(stderr, "tavik-status: %s is at least %d second\n", name, min);
    return false;
  }
  *value = (int)atol(v);
  return true;
}

static bool read_settings(status_settings *s) {
  const char *program = getenv("TAVIK");
  if (program != nullptr && *program != '\0') s->program = program;
  if (!seconds_setting("TAVIK_STATUS_INTERVAL", 0, &s->interval) ||
      !seconds_setting("TAVIK_STATUS_TIMEOUT", 1, &s->time_limit))
    return false;
  const char *format = getenv("TAVIK_STATUS_FORMAT");
  if (format != nullptr && *format != '\0' && strcmp(format, "plain") != 0) {
    if (strcmp(format, "waybar") != 0) {
      fprintf(stderr, "tavik-status: TAVIK_STATUS_FORMAT is plain or waybar\n");
      return false;
    }
    s->waybar = true;
  }
  return true;
}

// Prints what the record holds: the line, marked stale when the last
// request failed or the reading is older than the interval, or "…" before
// the first reading.
static void show(const cache_record &rec, const status_settings &s,
                 time_t now) {
  bool utf8 = strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  const bool have = rec.good != 0;
  const bool stale =
      !have || rec.failed ||
      !still_fresh(rec.good, now, s.interval > 0 ? s.interval : 1);
  std::string text =
      have ? status_line(rec.last, utf8 || s.waybar) : "\xe2\x80\xa6";
  if (have && stale) text += " (stale)";
  if (s.waybar)
    printf("%s\n",
           waybar_object(text, have ? &rec.last : nullptr, stale).c_str());
  else
    printf("%s\n", text.c_str());
}

int main(int argc, char **argv) {
  setlocale(LC_CTYPE, "");
  status_settings s;
  if (!read_settings(&s)) return 2;
  std::string path = cache_dir_path();
  if (path.empty()) return 2;
  int dir = open_cache_dir(path);
  if (dir < 0) return 2;
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::string key = cache_key(s.program, args, system_config_file);
  cache_record rec = read_record(dir, key);
  time_t now = time(nullptr);
  if (!still_fresh(rec.asked, now, s.interval)) {
    refresh_job job = {dir, key, s.program, args, s.interval, s.time_limit};
    int done = start_refresh(job);
    if (done >= 0) {
      pollfd p = {done, POLLIN, 0};
      poll(&p, 1, kWaitMs);
      close(done);
      rec = read_record(dir, key);
      now = time(nullptr);
    }
  }
  show(rec, s, now);
  return fflush(stdout) == 0 ? 0 : 1;
}
