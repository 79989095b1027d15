// Fuzzes URL template expansion and splitting: the input is the template,
// a NUL, the APPID, and four bytes of location at the end.
#include <stdint.h>
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
  std::string url = expand_url_template(s);
  if (has_control_byte(url)) return 0;
  std::string host, port;
  size_t path = split_url(url, &host, &port);
  if (path > url.size()) __builtin_trap();
  // Host, port and path are consecutive pieces of what follows the scheme.
  size_t scheme = url.size() < 7 ? url.size() : 7;
  if (host.size() + (port.empty() ? 0 : port.size() + 1) > path - scheme &&
      path != url.size())
    __builtin_trap();
  return 0;
}
