// The HTTP/1.1 exchange that fetches the weather document.
#ifndef TAVIK_HTTP_EXCHANGE_H
#define TAVIK_HTTP_EXCHANGE_H

#include "base/settings.h"

// Builds the URL, connects, and fetches the body. Returns a heap block of
// *length bytes (not terminated) for the caller to free, or NULL after a
// diagnostic (a few failures have none of their own).
char *get_weather(const run_settings *s, int *length);

// The exchange over an already connected socket: request, status line,
// headers and body, with a time limit per wait. Always closes fd.
char *http_fetch(int fd, const char *host, const char *path, int timeout,
                 int *length);

#endif
