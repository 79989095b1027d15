// The cache key of a tavik-status run.
#ifndef TAVIK_STATUS_KEY_H
#define TAVIK_STATUS_KEY_H

#include <string>
#include <vector>

// The file that tavik, given args, would read: its -c, found as tavik's own
// option scan finds it, or else the user's own or system_config_file,
// chosen by the code tavik itself uses.
std::string config_file_for(const std::vector<std::string> &args,
                            const char *system_config_file);

// The key: program, the arguments, and the identity of the configuration
// file tavik would read (device, inode, size and time of change), so that
// an edited or replaced file is asked about at the next poll. 16 hex
// digits.
std::string cache_key(const std::string &program,
                      const std::vector<std::string> &args,
                      const char *system_config_file);

#endif
