// The socket module: a buffered reader over the process's one connection
// (lines with CR LF folded to LF, and raw spans for bodies) and the
// sender. It prints nothing; results are codes.
#ifndef TAVIK_HTTP_SOCK_H
#define TAVIK_HTTP_SOCK_H

#include <stddef.h>

// Results besides a positive count of bytes.
enum {
  SOCK_FULL = -1,    // caller's buffer filled; the rest of the line dropped
  SOCK_FAILED = -2,  // wait timed out or receive failed (sticky until reset)
  SOCK_CLOSED = -3   // peer closed, the wait failed, or an exception
};

// Forgets buffered bytes and any earlier failure. Call once per connection
// before the first read.
void sock_reset(void);

// One line into buf (size >= 2), ending in exactly one LF and a NUL; waits
// at most timeout seconds each time the buffer runs dry. Returns the count
// stored, or SOCK_FULL, SOCK_FAILED or SOCK_CLOSED.
int sock_read_line(char *buf, int size, int fd, int timeout);

// Up to max raw bytes of the current receive, without regard to line ends;
// waits for a receive only when nothing is buffered, so a span never
// reaches into a second receive. *span points into the reader's buffer
// until the next read. Returns the count, SOCK_FAILED or SOCK_CLOSED.
int sock_take(const char **span, int max, int fd, int timeout);

// Drops the buffered bytes up to and including the next LF, or all of them
// when there is none; never receives. Returns whether an LF was dropped.
bool sock_drop_to_line_end(void);

// Sends n bytes of text in one call, repeated only for what a partial send
// left. Failures are not reported: a peer that has gone shows up when the
// answer is read.
void sock_send(const char *text, size_t n, int fd);

#endif
