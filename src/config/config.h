// The keyword configuration file: URL, APPID, LOCATION, UNITS.
#ifndef TAVIK_CONFIG_CONFIG_H
#define TAVIK_CONFIG_CONFIG_H

#include "base/settings.h"

// Clears *s, then reads the file at path into it. Every problem is reported
// with its line number; the return value is how many were reported.
int read_config(const char *path, run_settings *s);

// The file to read when -c names none: the user's own,
// $XDG_CONFIG_HOME/tavik/tavik.conf (with XDG_CONFIG_HOME unset, empty or
// relative, $HOME/.config/tavik/tavik.conf), when it is there; otherwise
// system_file. A file of the user's that is there but cannot be read is
// still the one returned, so that the error names it. The user's path is
// a heap copy that lives as long as the run; NULL after "cannot allocate
// memory".
const char *default_config_file(const char *system_file);

#endif
