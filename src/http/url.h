// The request URL: the template expanded, checked and cut into host, port
// and path. The texts made here are heap blocks sized for their contents,
// for the caller to free.
#ifndef TAVIK_HTTP_URL_H
#define TAVIK_HTTP_URL_H

#include "base/settings.h"

// The template with $U (units word), $L (location) and $A (APPID) replaced,
// in either letter case; "$$" gives "$", any other "$c" gives c and a "$"
// at the very end stays. Inserted text is not scanned again. NULL after
// "cannot allocate memory".
char *expand_url_template(const run_settings *s);

// True when text holds a byte that would break a request line on the wire
// (below 0x20, or 0x7F).
bool has_control_byte(const char *text);

// Cuts "http://host[:port][/path]": *host and *port become copies (an
// empty port when there is none) and the path is returned, a pointer into
// url (at its end when there is no path). The first seven characters are
// the scheme and are not looked at. NULL after "cannot allocate memory",
// with no copy left behind.
const char *split_url(const char *url, char **host, char **port);

#endif
