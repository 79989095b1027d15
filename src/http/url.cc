// URL template expansion, URL splitting and the TCP connection.
#include <sys/types.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <ctype.h>
#include <netdb.h>
#include <resolv.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/diag.h"
#include "http/url.h"

std::string expand_url_template(const run_settings &s) {
  std::string out;
  const char *t = s.url ? s.url : "";
  out.reserve(strlen(t) + 64);
  for (const char *p = t; *p; p++) {
    if (*p != '$' || p[1] == '\0') {
      out += *p;
      continue;
    }
    p++;
    switch (toupper((unsigned char)*p)) {
      case 'U':
        out += s.units == UNITS_IMPERIAL ? "imperial" : "metric";
        break;
      case 'L': {
        char num[16];
        snprintf(num, sizeof num, "%d", s.location);
        out += num;
        break;
      }
      case 'A':
        if (s.appid) out += s.appid;
        break;
      default:
        out += *p;
        break;
    }
  }
  return out;
}

size_t split_url(const std::string &url, std::string *host, std::string *port) {
  size_t start = url.size() < 7 ? url.size() : 7;
  size_t end = url.find_first_of("/:", start);
  if (end == std::string::npos) {
    *host = url.substr(start);
    port->clear();
    return url.size();
  }
  *host = url.substr(start, end - start);
  if (url[end] == '/') {
    port->clear();
    return end;
  }
  size_t path = url.find('/', end + 1);
  if (path == std::string::npos) path = url.size();
  *port = url.substr(end + 1, path - end - 1);
  return path;
}

bool has_control_byte(const std::string &text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f) return true;
  return false;
}

// The resolver's default domain as the resolver state holds it now. The
// resolver is deliberately not initialised here: an untouched state has an
// empty domain and the name stays as it is.
static const char *default_domain(void) { return _res.defdname; }

int open_connection(std::string *host, const std::string &port) {
  if (host->find('.') == std::string::npos) {
    const char *domain = default_domain();
    if (domain[0] != '\0') {
      *host += '.';
      *host += domain;
    }
  }

  struct sockaddr_in addr;
  memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  struct hostent *he = gethostbyname(host->c_str());
  if (he != nullptr && he->h_addrtype == AF_INET && he->h_addr_list[0]) {
    memcpy(&addr.sin_addr, he->h_addr_list[0], sizeof addr.sin_addr);
  } else if (isdigit((unsigned char)(*host)[0])) {
    addr.sin_addr.s_addr = inet_addr(host->c_str());
  } else {
    report_error("cannot get address for lookup host '%s'", host->c_str());
    return -1;
  }

  if (!port.empty()) {
    addr.sin_port = htons((unsigned short)(atoi(port.c_str()) & 0xffff));
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
    report_error("cannot connect to server '%s'", host->c_str());
    close(fd);
    return -1;
  }
  return fd;
}
