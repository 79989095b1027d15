// The socket module. One reader serves the process's single connection.
#include <errno.h>
#include <poll.h>
#include <string.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/types.h>

#include "http/sock.h"

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0
#endif

enum { SOCK_BUF_SIZE = 1024 };

// The reader: the bytes of the last receive, the index of the next unread
// one, and how many are unread (negative: the last wait timed out or the
// last receive failed, until sock_reset).
static char sock_buf[SOCK_BUF_SIZE];
static int sock_pos;
static int sock_avail;

void sock_reset(void) { sock_avail = 0; }

// Waits for the socket to become readable or report an exception. select
// cannot hold a descriptor at or beyond FD_SETSIZE, so such a descriptor is
// waited on with poll, which gives the same answers.
// Returns 1 readable, 0 timed out, -1 wait failed or exceptional condition.
static int wait_readable(int fd, int timeout) {
  if (fd >= 0 && fd < FD_SETSIZE) {
    fd_set rset, eset;
    FD_ZERO(&rset);
    FD_ZERO(&eset);
    FD_SET(fd, &rset);
    FD_SET(fd, &eset);
    struct timeval tv;
    tv.tv_sec = timeout;
    tv.tv_usec = 0;
    int n = select(fd + 1, &rset, nullptr, &eset, &tv);
    if (n == 0) return 0;
    if (n < 0 || FD_ISSET(fd, &eset) || !FD_ISSET(fd, &rset)) return -1;
    return 1;
  }
  struct pollfd p;
  p.fd = fd;
  p.events = POLLIN | POLLPRI;
  p.revents = 0;
  int n = poll(&p, 1, timeout * 1000);
  if (n == 0) return 0;
  if (n < 0 || (p.revents & (POLLPRI | POLLNVAL))) return -1;
  // A hung-up peer still reads as readable: recv then says 0.
  if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) return -1;
  return 1;
}

// Waits up to timeout seconds for the socket, then receives once into
// sock_buf. The wait comes first every time, even when bytes are already
// there, so that an exceptional condition (urgent data) is seen whenever it
// arrives. Returns the count, 0 for a closed peer or a failed wait, -1 for a
// time-out or a failed receive.
static int sock_fill(int fd, int timeout) {
  sock_pos = 0;
  int w = wait_readable(fd, timeout);
  if (w == 0) return -1;
  if (w < 0) return 0;
  return (int)recv(fd, sock_buf, SOCK_BUF_SIZE, 0);
}

// Makes sure a byte is buffered. Returns 0 when one is, else -2 or -3.
static int ensure_byte(int fd, int timeout) {
  if (sock_avail == 0) {
    sock_avail = sock_fill(fd, timeout);
    if (sock_avail == 0) return SOCK_CLOSED;
  }
  if (sock_avail < 0) return SOCK_FAILED;
  return 0;
}

int sock_read_line(char *buf, int size, int fd, int timeout) {
  int count = 0;
  bool full = false;
  for (;;) {
    int r = ensure_byte(fd, timeout);
    if (r != 0) return r;
    char c = sock_buf[sock_pos++];
    sock_avail--;
    if (c == '\r') {
      r = ensure_byte(fd, timeout);
      if (r != 0) return r;
      if (sock_buf[sock_pos] == '\n') {
        sock_pos++;
        sock_avail--;
        if (full) {
          buf[size - 1] = '\0';
          return SOCK_FULL;
        }
        buf[count] = '\n';
        buf[count + 1] = '\0';
        return count + 1;
      }
    }
    if (!full) {
      buf[count++] = c;
      if (count == size - 1) full = true;
    }
    if (c == '\n') {
      buf[count] = '\0';
      return full ? SOCK_FULL : count;
    }
  }
}

int sock_take(const char **span, int max, int fd, int timeout) {
  int r = ensure_byte(fd, timeout);
  if (r != 0) return r;
  int take = sock_avail < max ? sock_avail : max;
  *span = sock_buf + sock_pos;
  sock_pos += take;
  sock_avail -= take;
  return take;
}

bool sock_drop_to_line_end(void) {
  if (sock_avail <= 0) return false;
  const char *start = sock_buf + sock_pos;
  const char *lf = (const char *)memchr(start, '\n', (size_t)sock_avail);
  int drop = lf ? (int)(lf - start) + 1 : sock_avail;
  sock_pos += drop;
  sock_avail -= drop;
  return lf != nullptr;
}

// Sends n bytes, looping over partial sends. A peer that has already gone
// must not kill us with SIGPIPE: the failure shows up when the answer is
// read, so it is not reported here.
void sock_send(const char *text, size_t n, int fd) {
  while (n > 0) {
    ssize_t sent = send(fd, text, n, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return;
    text += sent;
    n -= (size_t)sent;
  }
}
