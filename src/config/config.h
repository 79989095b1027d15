// The keyword configuration file: URL, APPID, LOCATION, UNITS.
#ifndef TAVIK_CONFIG_CONFIG_H
#define TAVIK_CONFIG_CONFIG_H

#include "base/settings.h"

// Clears *s, then reads the file at path (chosen by choose_config_file,
// config/config_file.h) into it. Every problem is reported with its line
// number; the return value is how many were reported.
int read_config(const char *path, run_settings *s);

#endif
