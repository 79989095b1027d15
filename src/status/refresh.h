// The refresh: one request to the service, made by a process of its own
// that no bar waits for, under the cache directory's lock.
#ifndef TAVIK_STATUS_REFRESH_H
#define TAVIK_STATUS_REFRESH_H

#include <time.h>

#include <string>
#include <vector>

struct refresh_job {
  int dir;                        // the cache directory's descriptor
  std::string key;                // the record to renew
  std::string program;            // tavik
  std::vector<std::string> args;  // the user's options for tavik
  int interval;                   // seconds a request stays fresh
  int time_limit;                 // seconds a request may take
};

// Starts a refresh in a detached process (a session of its own; standard
// input, output and error on /dev/null; no other descriptor of the
// caller's), and returns a descriptor that reads end of file once the
// refresh has ended, or -1 when none could be started.
int start_refresh(const refresh_job &job);

// Whether a record asked at asked is still fresh at now: a time in the
// future counts as expired, so that a clock set back cannot silence the
// service for long.
bool still_fresh(time_t asked, time_t now, int interval);

#endif
