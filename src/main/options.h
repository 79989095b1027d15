// The command-line option scan.
#ifndef TAVIK_MAIN_OPTIONS_H
#define TAVIK_MAIN_OPTIONS_H

// What the command line asked for, before the configuration is read.
struct option_state {
  char *config_path;      // heap copy of -c, or NULL: see choose_config_file
  int location_override;  // -1: no -l seen (a -l of -1 counts as none)
  int units_choice;       // 0: no -u seen
  char delimiter;
  int debug;
  int compressed;
};

enum scan_result {
  SCAN_RUN,    // go on with the run
  SCAN_HELP,   // help printed: end with status 0
  SCAN_FAILED  // diagnostic printed: end with status 1
};

// Scans argv with getopt, reporting the first error. Leftover operands are
// an error too ("too many args"). -h's help text names system_config_file
// as the default.
scan_result scan_options(int argc, char **argv, const char *system_config_file,
                         option_state *opts);

#endif
