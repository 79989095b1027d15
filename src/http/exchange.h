// Retrieval of the weather document over HTTP/1.1.
#ifndef TAVIK_HTTP_EXCHANGE_H
#define TAVIK_HTTP_EXCHANGE_H

#include "base/settings.h"

// Expands the URL template, checks it, splits it, qualifies the host,
// connects, enters the sandbox (sandbox/sandbox.h) and runs the exchange.
// Returns a heap block of *length bytes (not terminated) for the caller to
// free, or NULL after a diagnostic (a few failures have none of their own).
char *get_weather(const run_settings *s, int *length);

// The exchange over a connected socket: request, status line, headers and
// body, each wait at most timeout seconds. Always closes fd. Returns as
// get_weather does.
char *http_exchange(int fd, const char *host, const char *path, int timeout,
                    int *length);

#endif
