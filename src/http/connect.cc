// Reaching the server: the host name completed with the resolver's default
// domain, its address and port looked up, and the TCP connection.
// sys/types.h first: older BSD network headers rely on it.
#include <sys/types.h>

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <ctype.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/alloc.h"
#include "base/diag.h"
#include "http/connect.h"

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
