// Which configuration file a run reads: the one -c names, the user's own,
// or the system-wide one. The reader (config/config.h) reads what it is
// given and chooses nothing; each program compiles in its own system-wide
// path and hands it over.
#ifndef TAVIK_CONFIG_CONFIG_FILE_H
#define TAVIK_CONFIG_CONFIG_FILE_H

// The file to read: command_line_path (the -c copy) when it is not NULL;
// otherwise the user's own, $XDG_CONFIG_HOME/tavik/tavik.conf (with
// XDG_CONFIG_HOME unset, empty or relative, $HOME/.config/tavik/tavik.conf),
// when it is there; otherwise system_path. A file of the user's that is
// there but cannot be read is still the one returned, so that the reader's
// error names it. The user's path is a heap block that the caller keeps; a
// heap too exhausted for it ends the run after "cannot allocate memory".
const char *choose_config_file(const char *command_line_path,
                               const char *system_path);

#endif
