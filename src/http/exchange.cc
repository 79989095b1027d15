// Retrieval: the URL, the connection and the HTTP exchange, one GET with
// its status line, headers and a chunked, Content-Length or read-to-close
// body.
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include "base/alloc.h"
#include "base/diag.h"
#include "base/settings.h"
#include "base/text.h"
#include "base/version.h"
#include "http/connect.h"
#include "http/exchange.h"
#include "http/sock.h"
#include "http/url.h"
#include "sandbox/sandbox.h"

// One buffer serves every request and response line; each wait for the
// server may last this many seconds.
enum { LINE_BUF_SIZE = 2000, READ_TIMEOUT = 30 };

// The request: seven lines, each ending in CR LF, the last one empty.
static const char kRequestFormat[] =
    "GET %s HTTP/1.1\r\n"
    "Host: %s\r\n"
    "User-Agent: weather/%d.%d\r\n"
    "Accept: text/xml,application/xml,application/xhtml+xml,text/html,"
    "text/plain\r\n"
    "Accept-Encoding:\r\n"
    "Connection: close\r\n"
    "\r\n";

// Sends the whole request in one call. Sent line by line, every send after
// the first would wait (Nagle's algorithm) for the acknowledgement of the
// one before, and a server or proxy that delays its acknowledgements would
// stall each run by that delay. The request is formatted into line when it
// fits, or else into a block of its own, so that a long path or host goes
// out whole. Returns false after "cannot allocate memory".
static bool send_request(int fd, char *line, const char *host,
                         const char *path) {
  if (*path == '\0') path = "/";
  int n = snprintf(line, LINE_BUF_SIZE, kRequestFormat, path, host,
                   TAVIK_VERSION_MAJOR, TAVIK_VERSION_MINOR);
  if (n < 0) return false;
  char *text = line;
  if (n >= LINE_BUF_SIZE) {
    text = (char *)alloc_or_report((size_t)n + 1);
    if (text == nullptr) return false;
    snprintf(text, (size_t)n + 1, kRequestFormat, path, host,
             TAVIK_VERSION_MAJOR, TAVIK_VERSION_MINOR);
  }
  sock_send(text, (size_t)n, fd);
  if (text != line) free(text);
  return true;
}

// Reads and checks the status line. Returns true for a 2xx answer.
static bool read_status(char *line, int fd, int timeout) {
  if (sock_read_line(line, LINE_BUF_SIZE, fd, timeout) < 0) {
    report_error("network read error");
    return false;
  }
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

namespace {

// How the body is framed, as the headers say.
struct framing {
  bool chunked = false;
  long long content_length = 0;  // the last Content-Length; 0 for none
};

// The document under construction. Its capacity grows geometrically as
// bytes arrive (never past a declared Content-Length), so a body of many
// small chunks is not copied over and over and a hostile length costs
// nothing until its bytes come. What is handed out is trimmed to the length.
struct document {
  char *data = nullptr;
  int length = 0;
  size_t capacity = 0;
};

// Outcome of copying one pass of body bytes.
enum copy_result { COPY_DONE, COPY_SHORT, COPY_NO_MEMORY };

}  // namespace

// Reads the header lines up to the empty one, noting the body's framing.
static bool read_headers(char *line, int fd, int timeout, framing *f) {
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
      f->chunked = true;
    if (strcasecmp(name, "Content-Length:") == 0)
      f->content_length = strtoll(value, nullptr, 10);
  }
}

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
  char *p = (char *)realloc_or_report(doc->data, (size_t)cap);
  if (p == nullptr) return false;
  doc->data = p;
  doc->capacity = (size_t)cap;
  return true;
}

// Copies want bytes of body from the socket into doc, a receive at a time,
// the document's capacity never growing past limit bytes unless needed.
// When the pass ends inside a line, the rest of that line in the current
// receive is dropped, and *dropped_lf tells whether an LF ended what was
// dropped. On COPY_SHORT, *status holds the reader's result that stopped
// the pass.
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
    report_error("connection closed after %d of %lld body bytes", doc->length,
                 size);
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

// Reads the body as the headers frame it.
static bool read_body(document *doc, char *line, const framing &f, int fd,
                      int timeout) {
  if (f.chunked) return read_chunked(doc, line, fd, timeout);
  if (f.content_length != 0)
    return read_counted(doc, f.content_length, fd, timeout);
  return read_to_close(doc, fd, timeout);
}

char *http_exchange(int fd, const char *host, const char *path, int timeout,
                    int *length) {
  char line[LINE_BUF_SIZE];
  framing f;
  document doc;
  sock_reset();
  bool ok = send_request(fd, line, host, path) &&
            read_status(line, fd, timeout) &&
            read_headers(line, fd, timeout, &f) &&
            read_body(&doc, line, f, fd, timeout);
  close(fd);
  if (!ok) {
    free(doc.data);
    return nullptr;
  }
  // Hand out a block exactly as long as the document.
  if (doc.length > 0 && (size_t)doc.length < doc.capacity)
    doc.data = (char *)shrink_block(doc.data, (size_t)doc.length);
  *length = doc.length;
  return doc.data;
}

char *get_weather(const run_settings *s, int *length) {
  char *url = expand_url_template(s);
  if (url == nullptr) return nullptr;
  if (has_control_byte(url)) {
    report_error("URL contains a control character");
    free(url);
    return nullptr;
  }
  char *host, *port;
  const char *path = split_url(url, &host, &port);
  char *doc = nullptr;
  if (path != nullptr) {
    int fd = qualify_host(&host) ? open_connection(host, port) : -1;
    if (fd >= 0) {
      enter_sandbox(fd, s->debug == 1);
      doc = http_exchange(fd, host, path, READ_TIMEOUT, length);
    }
    free(host);
    free(port);
  }
  free(url);
  return doc;
}
