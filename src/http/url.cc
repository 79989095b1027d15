// URL template expansion, URL splitting and the TCP connection.
// sys/types.h first: older BSD network headers rely on it.
#include <sys/types.h>

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <ctype.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/alloc.h"
#include "base/diag.h"
#include "http/url.h"

// Appends len bytes of text to the expansion: written to out unless out is
// NULL, counted in *n either way.
static void put(char *out, size_t *n, const char *text, size_t len) {
  if (out != nullptr) memcpy(out + *n, text, len);
  *n += len;
}

// Expands s->url into out, or only measures the expansion when out is
// NULL. Returns its length, the terminator not counted.
static size_t expand(const run_settings *s, char *out) {
  size_t n = 0;
  const char *t = s->url ? s->url : "";
  for (const char *p = t; *p; p++) {
    if (*p != '$' || p[1] == '\0') {
      put(out, &n, p, 1);
      continue;
    }
    p++;
    switch (toupper((unsigned char)*p)) {
      case 'U': {
        const char *word = s->units == UNITS_IMPERIAL ? "imperial" : "metric";
        put(out, &n, word, strlen(word));
        break;
      }
      case 'L': {
        char num[16];
        int len = snprintf(num, sizeof num, "%d", s->location);
        put(out, &n, num, (size_t)len);
        break;
      }
      case 'A':
        if (s->appid) put(out, &n, s->appid, strlen(s->appid));
        break;
      default:
        put(out, &n, p, 1);
        break;
    }
  }
  if (out != nullptr) out[n] = '\0';
  return n;
}

char *expand_url_template(const run_settings *s) {
  char *url = (char *)alloc_or_report(expand(s, nullptr) + 1);
  if (url != nullptr) expand(s, url);
  return url;
}

bool has_control_byte(const char *text) {
  for (const unsigned char *p = (const unsigned char *)text; *p; p++)
    if (*p < 0x20 || *p == 0x7f) return true;
  return false;
}

// A terminated heap copy of len bytes of text, or NULL after reporting.
static char *copy_span(const char *text, size_t len) {
  char *copy = (char *)alloc_or_report(len + 1);
  if (copy != nullptr) {
    memcpy(copy, text, len);
    copy[len] = '\0';
  }
  return copy;
}

const char *split_url(const char *url, char **host, char **port) {
  size_t len = strlen(url);
  const char *start = url + (len < 7 ? len : 7);
  const char *host_end = start + strcspn(start, "/:");
  const char *port_start = host_end;
  const char *path = host_end;
  if (*host_end == ':') {
    port_start = host_end + 1;
    path = port_start + strcspn(port_start, "/");
  }
  *host = copy_span(start, (size_t)(host_end - start));
  *port = nullptr;
  if (*host != nullptr)
    *port = copy_span(port_start, (size_t)(path - port_start));
  if (*port == nullptr) {
    free(*host);
    *host = nullptr;
    return nullptr;
  }
  return path;
}

// The resolver's default domain as the resolver state holds it now. The
// resolver is deliberately not initialised here: an untouched state has an
// empty domain and the name stays as it is.
static const char *default_domain(void) { return _res.defdname; }

bool qualify_host(char **host) {
  if (strchr(*host, '.') != nullptr) return true;
  const char *domain = default_domain();
  if (domain[0] == '\0') return true;
  size_t name_len = strlen(*host), domain_len = strlen(domain);
  char *qualified = (char *)alloc_or_report(name_len + 1 + domain_len + 1);
  if (qualified == nullptr) return false;
  memcpy(qualified, *host, name_len);
  qualified[name_len] = '.';
  memcpy(qualified + name_len + 1, domain, domain_len + 1);
  free(*host);
  *host = qualified;
  return true;
}

int open_connection(const char *host, const char *port) {
  struct sockaddr_in addr;
  memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  struct hostent *he = gethostbyname(host);
  if (he != nullptr && he->h_addrtype == AF_INET && he->h_addr_list[0]) {
    memcpy(&addr.sin_addr, he->h_addr_list[0], sizeof addr.sin_addr);
  } else if (isdigit((unsigned char)host[0])) {
    addr.sin_addr.s_addr = inet_addr(host);
  } else {
    report_error("cannot get address for lookup host '%s'", host);
    return -1;
  }

  if (port[0] != '\0') {
    addr.sin_port = htons((unsigned short)(atoi(port) & 0xffff));
  } else {
    struct servent *se = getservbyname("http", "tcp");
    if (se == nullptr) {
      endservent();
      report_error("cannot get port for %s/%s service", "http", "tcp");
      return -1;
    }
    addr.sin_port = (unsigned short)se->s_port;
    endservent();
  }

  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) {
    report_error("cannot create socket");
    return -1;
  }
  if (connect(fd, (struct sockaddr *)&addr, sizeof addr) < 0) {
    report_error("cannot connect to server '%s'", host);
    close(fd);
    return -1;
  }
  return fd;
}
