// The run settings record, shared by every stage of a run.
#ifndef TAVIK_BASE_SETTINGS_H
#define TAVIK_BASE_SETTINGS_H

enum { UNITS_IMPERIAL = 1, UNITS_METRIC = 2 };

// Everything the run needs to know, filled by the configuration reader and
// the option scan, read-only from retrieval on.
struct run_settings {
  int compressed;  // 1: one delimited line instead of the text report
  int debug;       // 1: raw dump on stdout, parse trace on stderr
  char delimiter;  // separator of the delimited line
  int location;    // numeric location; 0 means none
  int units;       // 0 unset, UNITS_IMPERIAL or UNITS_METRIC
  char *appid;     // heap copy, as written in the file
  char *url;       // heap copy, folded to lower case, begins "http://"
};

#endif
