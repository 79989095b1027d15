// The request URL and the connection to the weather server.
#ifndef TAVIK_HTTP_URL_H
#define TAVIK_HTTP_URL_H

#include <string>

#include "base/settings.h"

// The template with $U (units word), $L (location) and $A (APPID) replaced,
// in either letter case; "$$" gives "$", any other "$c" gives c and a "$"
// at the very end stays. Inserted text is not scanned again.
std::string expand_url_template(const run_settings &s);

// Cuts "http://host[:port][/path]" into its parts. The first seven
// characters are the scheme and are not looked at. Returns the offset of
// the path in url (url.size() when there is no path).
size_t split_url(const std::string &url, std::string *host, std::string *port);

// True when text holds a byte that would break a request line on the wire
// (below 0x20, or 0x7F).
bool has_control_byte(const std::string &text);

// Resolves host (adding the resolver's default domain to a name without a
// dot) and port, and connects. Returns the socket, or -1 after reporting.
int open_connection(std::string *host, const std::string &port);

#endif
