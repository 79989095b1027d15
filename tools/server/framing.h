// HTTP/1.1 responses framed as a weather service frames them, for the
// sample server, the benchmarks and the tests' scripted peer.
#ifndef TAVIK_TOOLS_FRAMING_H
#define TAVIK_TOOLS_FRAMING_H

#include <stddef.h>

#include <string>

// A 200 response carrying body with a Content-Length.
std::string content_length_response(const std::string &body);

// A 200 response carrying body in chunks of chunk bytes (the last may be
// shorter), then the empty last chunk.
std::string chunked_response(const std::string &body, size_t chunk);

#endif
