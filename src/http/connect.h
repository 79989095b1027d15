// The connection to the weather server, from the host name and port that
// split_url (http/url.h) cut out of the URL.
#ifndef TAVIK_HTTP_CONNECT_H
#define TAVIK_HTTP_CONNECT_H

// Adds "." and the resolver's default domain to a host name without a dot,
// when that domain is not empty, replacing *host. False after "cannot
// allocate memory", *host then unchanged.
bool qualify_host(char **host);

// Resolves host and port (the http service's when port is empty) and
// connects. Returns the socket, or -1 after reporting.
int open_connection(const char *host, const char *port);

#endif
