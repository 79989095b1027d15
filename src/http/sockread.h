// A small buffered reader over one socket: lines with CR LF folded to LF,
// and raw blocks for bodies. It prints nothing; results are codes.
#ifndef TAVIK_HTTP_SOCKREAD_H
#define TAVIK_HTTP_SOCKREAD_H

enum { SOCK_BUF_SIZE = 1024 };

// Results besides a positive count of bytes stored.
enum {
  SOCK_FULL = -1,     // caller's buffer filled; the rest was dropped
  SOCK_FAILED = -2,   // wait timed out or receive failed (sticky until reset)
  SOCK_CLOSED = -3    // peer closed, the wait failed, or an exception
};

extern char sock_buf[SOCK_BUF_SIZE];
extern int sock_pos;
extern int sock_avail;

// Forgets buffered bytes and any earlier failure.
void sock_reset(void);

// Waits up to timeout seconds and receives once into sock_buf. Returns the
// count, 0 for a closed peer or failed wait, -1 for a time-out or failed
// receive.
int sock_fill(int fd, int timeout);

// One line into buf (size >= 2), ending in exactly one LF and a NUL.
int sock_read_line(char *buf, int size, int fd, int timeout);

// Raw bytes up to the first LF or the end of the current receive.
int sock_read_block(char *buf, int size, int fd, int timeout);

// Up to max raw bytes of the current receive (waiting for one when none is
// buffered), without regard to line ends: *span points into sock_buf.
// Returns the count, or -2 or -3. Reading a body this way and then calling
// sock_drop_to_line_end gives what reading it block by block gives.
int sock_take(const char **span, int max, int fd, int timeout);

// Drops the buffered bytes up to and including the next LF, or all of
// them when there is none. Returns whether an LF ended what was dropped.
bool sock_drop_to_line_end(void);

#endif
