// tavik: fetch the current weather for one location and print it.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "base/diag.h"
#include "base/settings.h"
#include "config/config.h"
#include "config/config_file.h"
#include "http/exchange.h"
#include "main/options.h"
#include "parse/extract.h"
#include "report/report.h"

// The one record of the run, filled here and handed to each stage by its
// address.
static run_settings settings;

// The system-wide configuration file, read when -c names none and the user
// has no file of their own. Set when the program is built (cmake
// -DTAVIK_CONFIG_FILE=...); the tests build a copy of the driver that names
// a file of theirs.
#ifndef TAVIK_CONFIG_FILE
#define TAVIK_CONFIG_FILE "/usr/local/etc/tavik.conf"
#endif
static const char system_config_file[] = TAVIK_CONFIG_FILE;

// What the run keeps from its start to its end: the options, whose -c copy
// is a heap block, and the configuration file chosen from them, which may
// be the heap block of the user's own path. Static, like settings, so that
// both stay reachable as long as the process.
static struct {
  option_state opts;
  const char *config_file;
} run;

// Opens /dev/null on any of descriptors 0 to 2 that the caller left closed.
// Otherwise the configuration file or the socket would take that number,
// and a diagnostic meant for stderr (or the report meant for stdout) would
// go to the weather server instead. Returns false when that cannot be done;
// *stdout_closed tells whether standard output was among them.
static bool keep_standard_descriptors(bool *stdout_closed) {
  *stdout_closed = false;
  for (int fd = 0; fd <= 2; fd++) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == STDOUT_FILENO) *stdout_closed = true;
    // The lowest free descriptor is fd itself, as the ones below it are open.
    int opened = open("/dev/null", O_RDWR);
    if (opened != fd) {
      if (opened >= 0) close(opened);
      return false;
    }
  }
  return true;
}

int main(int argc, char **argv) {
  bool stdout_closed;
  if (!keep_standard_descriptors(&stdout_closed)) return 1;
  set_program_name(argc > 0 ? argv[0] : nullptr);

  option_state &opts = run.opts;
  switch (scan_options(argc, argv, system_config_file, &opts)) {
    case SCAN_RUN:
      break;
    case SCAN_HELP:
      return 0;
    case SCAN_FAILED:
      return 1;
  }

  run.config_file = choose_config_file(opts.config_path, system_config_file);
  int errors = read_config(run.config_file, &settings);
  if (errors != 0) {
    report_error("%d configuration error%s", errors, errors == 1 ? "" : "s");
    return 1;
  }
  if (opts.location_override != -1) settings.location = opts.location_override;
  if (opts.units_choice != 0) settings.units = opts.units_choice;
  if (settings.location == 0) {
    report_error(
        "there is no LOCATION entry in the configuration file, "
        "and no -l option is present");
    return 1;
  }
  settings.compressed = opts.compressed;
  settings.debug = opts.debug;
  settings.delimiter = opts.delimiter;

  // From the connection on, the run is confined (sandbox/sandbox.h): the
  // exchange, the parse, the report and -D's output run inside the sandbox.
  int length = 0;
  char *doc = get_weather(&settings, &length);
  if (doc == nullptr) {
    report_error("failed to get weather");
    return 1;
  }
  if (settings.debug == 1) {
    fwrite("Raw XML data:\n", 1, 14, stdout);
    fwrite(doc, 1, (size_t)length, stdout);
    fputc('\n', stdout);
  }

  weather w = {};
  extract_data(doc, length, settings.debug, &w);
  free(doc);
  if (!w.ok) {
    report_error("error extracting data");
    return 1;
  }
  massage_weather(&settings, &w);
  print_weather(&settings, &w);
  // A report that could not be written (a full disk, a descriptor closed
  // before the run, whose report went to /dev/null) is a failure, not a
  // success.
  if (fflush(stdout) != 0 || ferror(stdout) || stdout_closed) {
    report_error("cannot write the report to standard output");
    return 1;
  }
  return 0;
}
