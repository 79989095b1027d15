// Option scanning: turns argv into an option_state or one diagnostic.
#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "base/alloc.h"
#include "base/diag.h"
#include "base/settings.h"
#include "base/version.h"
#include "main/options.h"

// glibc permutes argv unless told not to; the scan must stop at the first
// operand as BSD getopt does, so that "word -x" is an operand error.
#ifdef __GLIBC__
#define OPTION_STRING "+:c:d:Dhl:u:z"
#else
#define OPTION_STRING ":c:d:Dhl:u:z"
#endif

// The -u rule: 1 imperial, 2 metric, 0 refused. Leading parts of the words
// count, case-sensitively; the empty text is metric.
static int units_from_argument(const char *arg) {
  size_t len = strlen(arg);
  if (len > 8) return 0;
  if (len >= 7) return strncmp(arg, "imperial", len) == 0 ? UNITS_IMPERIAL : 0;
  if (strncmp(arg, "metric", len) == 0) return UNITS_METRIC;
  if (strncmp(arg, "imperial", len) == 0) return UNITS_IMPERIAL;
  return 0;
}

// The help text, on stderr, naming the program's system-wide file.
static void usage(const char *system_config_file) {
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
  };
  for (const char *line : lines) fprintf(stderr, line, program_name);
  fprintf(stderr, "Default configuration file is %s\n", system_config_file);
  fprintf(stderr, "\nThis is version %d.%d\n", TAVIK_VERSION_MAJOR,
          TAVIK_VERSION_MINOR);
}

scan_result scan_options(int argc, char **argv, const char *system_config_file,
                         option_state *opts) {
  opts->config_path = nullptr;
  opts->location_override = -1;
  opts->units_choice = 0;
  opts->delimiter = '@';
  opts->debug = 0;
  opts->compressed = 0;

  opterr = 0;
  int c;
  while ((c = getopt(argc, argv, OPTION_STRING)) != -1) {
    switch (c) {
      case 'c':
        if (opts->config_path != nullptr) {
          report_error("configuration file specified more than once");
          return SCAN_FAILED;
        }
        opts->config_path = copy_text(optarg);
        break;
      case 'd':
        if (strlen(optarg) != 1) {
          report_error("bad delimiter");
          return SCAN_FAILED;
        }
        opts->delimiter = optarg[0];
        break;
      case 'D':
        opts->debug = 1;
        break;
      case 'h':
        usage(system_config_file);
        return SCAN_HELP;
      case 'l':
        if (opts->location_override != -1) {
          report_error("-l specified more than once");
          return SCAN_FAILED;
        }
        opts->location_override = (int)strtol(optarg, nullptr, 10);
        break;
      case 'u':
        if (opts->units_choice != 0) {
          report_error("units type specified more than once");
          return SCAN_FAILED;
        }
        opts->units_choice = units_from_argument(optarg);
        if (opts->units_choice == 0) {
          report_error("invalid value after -u");
          return SCAN_FAILED;
        }
        break;
      case 'z':
        opts->compressed = 1;
        break;
      case ':':
        report_error("missing value after -%c", optopt);
        return SCAN_FAILED;
      default:
        report_error("invalid flag -%c", optopt);
        return SCAN_FAILED;
    }
  }
  if (optind < argc) {
    report_error("too many args");
    return SCAN_FAILED;
  }
  return SCAN_RUN;
}
