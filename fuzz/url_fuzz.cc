// Fuzzes URL template expansion and splitting: the input is the template,
// a NUL, the APPID, and four bytes of location at the end.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "http/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4) return 0;
  int location;
  memcpy(&location, data + size - 4, 4);
  std::string rest((const char *)data, size - 4);
  size_t nul = rest.find('\0');
  std::string tmpl = rest.substr(0, nul);
  std::string appid = nul == std::string::npos ? "" : rest.substr(nul + 1);
  run_settings s{};
  s.url = &tmpl[0];
  s.appid = &appid[0];
  s.location = location;
  s.units = location & 1 ? UNITS_IMPERIAL : UNITS_METRIC;
  char *url = expand_url_template(&s);
  if (url == nullptr) __builtin_trap();
  char *host = nullptr, *port = nullptr;
  if (!has_control_byte(url)) {
    const char *path = split_url(url, &host, &port);
    size_t len = strlen(url);
    if (path == nullptr || path < url || path > url + len) __builtin_trap();
    // Host, port and path are consecutive pieces of what follows the scheme.
    size_t scheme = len < 7 ? len : 7;
    size_t pieces = strlen(host) + (port[0] ? strlen(port) + 1 : 0);
    if (scheme + pieces > (size_t)(path - url) && *path != '\0')
      __builtin_trap();
  }
  free(host);
  free(port);
  free(url);
  return 0;
}
