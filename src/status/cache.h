// tavik-status's cache directory and what it holds: one record for each
// key, the lock that one refresh at a time holds, and the diagnostics of
// the last refresh. Everything goes through the directory's descriptor, so
// that nothing swapped into the path during a run can redirect a write.
#ifndef TAVIK_STATUS_CACHE_H
#define TAVIK_STATUS_CACHE_H

#include <time.h>

#include <string>

#include "status/reading.h"

// The cache directory's path: $XDG_CACHE_HOME/tavik when that is absolute,
// else $HOME/.cache/tavik; "" after a complaint when HOME is not absolute.
std::string cache_dir_path(void);

// Opens the cache directory, making it (and missing directories above it)
// mode 0700. It must be the user's own and writable by the user alone, and
// every directory above it owned by the user or root and writable by no one
// else unless sticky (as /tmp is). Returns its descriptor, or -1 after a
// complaint on stderr.
int open_cache_dir(const std::string &path);

// What a cache file holds: when the service was last asked, whether that
// failed, and the last good reading with its time (good 0: none yet).
struct cache_record {
  time_t asked = 0;
  bool failed = false;
  time_t good = 0;
  reading last;
};

// The record of key, or an empty one when there is none or it is damaged.
cache_record read_record(int dir, const std::string &key);

// Writes the record of key through a temporary file renamed over the old
// one. false when it could not be written whole.
bool write_record(int dir, const std::string &key, const cache_record &r);

// Replaces the file name in dir with text, through a temporary file.
bool replace_file(int dir, const char *name, const std::string &text);

// Removes the temporary files that a killed run left. Only the holder of
// the lock calls it: no one else writes meanwhile.
void remove_leftovers(int dir);

// Takes the lock of the cache directory, waiting for another refresh to
// end. Returns its descriptor, which holds the lock until the process
// ends, or -1. The kernel releases it when its holder dies.
int take_lock(int dir);

#endif
