// Which configuration file a run reads: the one -c names, the user's own,
// or the system-wide one. The reader (config/config.h) reads what it is
// given and chooses nothing.
#ifndef TAVIK_CONFIG_CONFIG_FILE_H
#define TAVIK_CONFIG_CONFIG_FILE_H

// The system-wide configuration file, read when -c names none and the user
// has no file of their own. Set when the program is built (cmake
// -DTAVIK_CONFIG_FILE=...); each program built from these sources compiles
// config_file.cc on its own, so that the tests' copy can name a file of
// theirs.
extern const char system_config_file[];

// The file to read: command_line_path (the -c copy) when it is not NULL;
// otherwise the user's own, $XDG_CONFIG_HOME/tavik/tavik.conf (with
// XDG_CONFIG_HOME unset, empty or relative, $HOME/.config/tavik/tavik.conf),
// when it is there; otherwise system_config_file. A file of the user's that
// is there but cannot be read is still the one returned, so that the
// reader's error names it. The user's path is a heap copy that lives as
// long as the run; a heap too exhausted for it ends the run through
// fatal_exit(1) after "cannot allocate memory".
const char *choose_config_file(const char *command_line_path);

#endif
