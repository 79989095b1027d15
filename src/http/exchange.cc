// The HTTP exchange: one GET, the status line, the headers and a chunked,
// Content-Length or read-to-close body.
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <new>
#include <string>

#include "http/exchange.h"
#include "http/sockread.h"
#include "http/url.h"

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0
#endif

// A peer that has already gone must not kill us with SIGPIPE: the failure
// shows up when the answer is read.
static void send_all(int fd, const char *p, size_t n) {
  (void)send(fd, p, n, MSG_NOSIGNAL);
}

void sock_send_line(const char *text, int fd) {
  size_t n = strlen(text);
  if (n > 0 && text[n - 1] == '\n') {
    if (n > 1) send_all(fd, text, n - 1);
    send_all(fd, "\r\n", 2);
  } else {
    send_all(fd, text, n);
  }
}

// The document under construction. Its capacity grows geometrically as
// bytes arrive (never past a declared Content-Length), so a body of many
// small chunks is not copied over and over and a hostile length costs
// nothing until its bytes come. What is handed out is trimmed to the length.
struct document {
  char *data = nullptr;
  int length = 0;
  size_t capacity = 0;
};

// Room for extra more bytes, growing to at most limit bytes in all unless
// more is needed. Reports and returns false when the heap is exhausted or
// the document would leave the 32-bit length.
static bool reserve(document *doc, long long extra, long long limit) {
  long long want = (long long)doc->length + extra;
  if (want > INT_MAX) {
    report_error("response body too large");
    return false;
  }
  if ((size_t)want <= doc->capacity && doc->data != nullptr) return true;
  long long cap = doc->capacity ? (long long)doc->capacity * 2 : 16384;
  if (cap > limit) cap = limit;
  if (cap < want) cap = want;
  if (cap == 0) cap = 1;
  char *p = (char *)tavik_realloc(doc->data, (size_t)cap);
  if (p == nullptr) {
    report_error("cannot allocate memory");
    return false;
  }
  doc->data = p;
  doc->capacity = (size_t)cap;
  return true;
}

// Outcome of copying one pass of body bytes.
enum copy_result { COPY_DONE, COPY_SHORT, COPY_NO_MEMORY };

// Copies want bytes of body from the socket into doc, the document's
// capacity never growing past limit bytes unless needed. The body is read as
// blocks that end at each LF or at the end of a receive; of the block that
// completes the pass only what is needed is kept, and *dropped_lf tells
// whether the rest of that block ended with LF. Whole receives are taken at
// a time, which gives the same bytes with far fewer steps: only the block
// that completes the pass needs its end looked for. On COPY_SHORT, *status
// holds the reader's result that stopped the pass.
static copy_result copy_body(document *doc, long long want, long long limit,
                             int fd, int timeout, bool *dropped_lf,
                             int *status) {
  long long remaining = want;
  *dropped_lf = false;
  while (remaining > 0) {
    const char *span;
    int max = remaining < INT_MAX ? (int)remaining : INT_MAX;
    int n = sock_take(&span, max, fd, timeout);
    if (n <= 0) {
      *status = n;
      return COPY_SHORT;
    }
    if (!reserve(doc, n, limit)) return COPY_NO_MEMORY;
    memcpy(doc->data + doc->length, span, (size_t)n);
    doc->length += n;
    remaining -= n;
    if (remaining == 0 && span[n - 1] != '\n')
      *dropped_lf = sock_drop_to_line_end();
  }
  return COPY_DONE;
}

// The size on a chunk-size line: hexadecimal digits at its start, as "%x"
// reads them, with a ";" extension or anything else after them ignored.
// A line without digits is size 0. Returns -1, after a diagnostic, for a
// size no 32-bit document can hold (including negative ones).
static long long chunk_size(const char *line) {
  const char *p = line;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
  bool negative = *p == '-';
  errno = 0;
  char *end;
  unsigned long v = strtoul(line, &end, 16);
  if (end == line) return 0;
  if (errno == ERANGE || v > INT_MAX || (negative && v != 0)) {
    report_error("bad chunk size from server");
    return -1;
  }
  return (long long)v;
}

static bool read_chunked(document *doc, char *line, int fd, int timeout) {
  for (;;) {
    int n = sock_read_line(line, LINE_BUF_SIZE, fd, timeout);
    if (n == SOCK_FAILED || n == SOCK_CLOSED) return false;
    long long size = chunk_size(line);
    if (size < 0) return false;
    // An empty first chunk leaves no document at all.
    if (size == 0) return doc->data != nullptr;
    if (doc->length + size > INT_MAX) {
      report_error("response body too large");
      return false;
    }
    bool dropped_lf;
    int status;
    if (copy_body(doc, size, INT_MAX, fd, timeout, &dropped_lf, &status) !=
        COPY_DONE)
      return false;
    // The line end after the data: already gone with the dropped bytes, or
    // still to be read (data ending in LF, or CR LF in a later receive).
    if (!dropped_lf) {
      n = sock_read_line(line, LINE_BUF_SIZE, fd, timeout);
      if (n == SOCK_FAILED || n == SOCK_CLOSED) return false;
    }
  }
}

static bool read_counted(document *doc, long long size, int fd, int timeout) {
  if (size < 0) return false;  // no document can be that long
  if (size > INT_MAX) {
    report_error("response body too large");
    return false;
  }
  bool dropped_lf;
  int status = 0;
  switch (copy_body(doc, size, size, fd, timeout, &dropped_lf, &status)) {
    case COPY_DONE:
      return true;
    case COPY_NO_MEMORY:
      return false;
    case COPY_SHORT:
      break;
  }
  if (status == SOCK_FAILED)
    report_error("network read error");
  else
    report_error("connection closed after %d of %lld body bytes",
                 doc->length, size);
  return false;
}

static bool read_to_close(document *doc, int fd, int timeout) {
  if (!reserve(doc, 0, 0)) return false;
  for (;;) {
    const char *span;
    int n = sock_take(&span, INT_MAX, fd, timeout);
    if (n == SOCK_CLOSED) return true;
    if (n <= 0) {
      report_error("network read error");
      return false;
    }
    if (!reserve(doc, n, INT_MAX)) return false;
    memcpy(doc->data + doc->length, span, (size_t)n);
    doc->length += n;
  }
}

// Replaces every control byte (below 0x20, or DEL) with "?", so that a
// server's text shown on the user's terminal cannot carry escape sequences
// or hide what it says. Other bytes, UTF-8 included, stay as they came.
static void make_printable(char *text) {
  for (unsigned char *p = (unsigned char *)text; *p; p++)
    if (*p < 0x20 || *p == 0x7f) *p = '?';
}

// Checks the status line. Returns true for a 2xx answer.
static bool check_status(char *line) {
  char *version = strtok(line, " \t\n");
  char *code = version ? strtok(nullptr, " \t\n") : nullptr;
  if (code == nullptr) {
    report_error("malformed status line from server");
    return false;
  }
  if (code[0] == '2') return true;
  char *reason = code + strlen(code) + 1;
  char *end = strchr(reason, '\n');
  if (end != nullptr) *end = '\0';
  make_printable(code);
  make_printable(reason);
  report_error("server response was %s (%s)", code, reason);
  return false;
}

// Reads the header lines up to the empty one, noting the body's framing.
static bool read_headers(char *line, int fd, int timeout, bool *chunked,
                         long long *content_length) {
  for (;;) {
    int n = sock_read_line(line, LINE_BUF_SIZE, fd, timeout);
    if (n == SOCK_FAILED || n == SOCK_CLOSED) {
      report_error("network read error");
      return false;
    }
    if (strcmp(line, "\n") == 0) return true;
    char *name = strtok(line, " \t\n");
    char *value = name ? strtok(nullptr, " \t\n") : nullptr;
    if (value == nullptr) continue;
    if (strcasecmp(name, "Transfer-Encoding:") == 0 &&
        strcasecmp(value, "chunked") == 0)
      *chunked = true;
    if (strcasecmp(name, "Content-Length:") == 0)
      *content_length = strtoll(value, nullptr, 10);
  }
}

static char *fetch(int fd, const char *host, const char *path, int timeout,
                   int *length) {
  char line[LINE_BUF_SIZE];
  sock_reset();

  // The request lines are formatted one at a time; a path or host too long
  // for the line buffer goes out from a heap copy instead of being cut.
  std::string request = std::string("GET ") + (*path ? path : "/") +
                        " HTTP/1.1\n";
  sock_send_line(request.c_str(), fd);
  request = std::string("Host: ") + host + "\n";
  sock_send_line(request.c_str(), fd);
  snprintf(line, sizeof line, "User-Agent: weather/%d.%d\n",
           TAVIK_VERSION_MAJOR, TAVIK_VERSION_MINOR);
  sock_send_line(line, fd);
  sock_send_line(
      "Accept: text/xml,application/xml,application/xhtml+xml,text/html,"
      "text/plain\n",
      fd);
  sock_send_line("Accept-Encoding:\n", fd);
  sock_send_line("Connection: close\n", fd);
  sock_send_line("\n", fd);

  int n = sock_read_line(line, LINE_BUF_SIZE, fd, timeout);
  if (n < 0) {
    report_error("network read error");
    return nullptr;
  }
  if (!check_status(line)) return nullptr;

  bool chunked = false;
  long long content_length = 0;
  if (!read_headers(line, fd, timeout, &chunked, &content_length))
    return nullptr;

  document doc;
  bool ok;
  if (chunked)
    ok = read_chunked(&doc, line, fd, timeout);
  else if (content_length != 0)
    ok = read_counted(&doc, content_length, fd, timeout);
  else
    ok = read_to_close(&doc, fd, timeout);
  if (!ok) {
    free(doc.data);
    return nullptr;
  }
  // Hand out a block exactly as long as the document.
  if (doc.length > 0 && (size_t)doc.length < doc.capacity) {
    char *p = (char *)realloc(doc.data, (size_t)doc.length);
    if (p != nullptr) doc.data = p;
  }
  *length = doc.length;
  return doc.data;
}

char *http_fetch(int fd, const char *host, const char *path, int timeout,
                 int *length) {
  char *doc = nullptr;
  try {
    doc = fetch(fd, host, path, timeout, length);
  } catch (const std::bad_alloc &) {
    report_error("cannot allocate memory");
  }
  close(fd);
  return doc;
}

// Builds the URL, connects and runs the exchange.
static char *fetch_weather(const run_settings *s, int *length) {
  std::string url = expand_url_template(*s);
  if (has_control_byte(url)) {
    report_error("URL contains a control character");
    return nullptr;
  }
  std::string host, port;
  size_t path = split_url(url, &host, &port);
  int fd = open_connection(&host, port);
  if (fd < 0) return nullptr;
  return http_fetch(fd, host.c_str(), url.c_str() + path, READ_TIMEOUT, length);
}

char *get_weather(const run_settings *s, int *length) {
  // The URL, host and port texts grow as needed; a heap too full for them
  // ends retrieval like any other allocation failure.
  try {
    return fetch_weather(s, length);
  } catch (const std::bad_alloc &) {
    report_error("cannot allocate memory");
    return nullptr;
  }
}
