/*
 * The reference: the least a client can do for tavik's job. It connects
 * to 127.0.0.1:PORT, sends one GET, reads the whole response, takes the
 * body (de-chunking it when the response is chunked) and parses it once
 * with expat with no callbacks. Nothing else: no configuration, no name
 * lookup, no report.
 *
 *   ref-client PORT PATH
 */
#define _GNU_SOURCE /* memmem, strcasestr */
#include <arpa/inet.h>
#include <expat.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char **argv) {
  if (argc != 3) return 2;
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_port = htons((unsigned short)atoi(argv[1]));
  inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
  if (connect(fd, (struct sockaddr *)&a, sizeof a) != 0) return 1;
  char req[1024];
  int n = snprintf(
      req, sizeof req,
      "GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
      argv[2]);
  send(fd, req, (size_t)n, 0);

  size_t cap = 1 << 16, len = 0;
  char *buf = malloc(cap);
  for (;;) {
    if (cap - len < 65536) buf = realloc(buf, cap *= 2);
    ssize_t r = recv(fd, buf + len, cap - len, 0);
    if (r <= 0) break;
    len += (size_t)r;
  }
  close(fd);

  char *body = memmem(buf, len, "\r\n\r\n", 4);
  if (body == NULL) return 1;
  *body = '\0';
  body += 4;
  size_t body_len = len - (size_t)(body - buf);
  if (strcasestr(buf, "transfer-encoding: chunked") != NULL) {
    /* De-chunk in place. */
    char *in = body, *out = body, *end = body + body_len;
    for (;;) {
      unsigned long size = strtoul(in, NULL, 16);
      char *data = memchr(in, '\n', (size_t)(end - in));
      if (size == 0 || data == NULL) break;
      memmove(out, data + 1, size);
      out += size;
      in = data + 1 + size + 2;
    }
    body_len = (size_t)(out - body);
  }

  XML_Parser p = XML_ParserCreate(NULL);
  int ok = XML_Parse(p, body, (int)body_len, 1) == XML_STATUS_OK;
  XML_ParserFree(p);
  free(buf);
  return ok ? 0 : 1;
}
