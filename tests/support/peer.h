// Test peers: loopback ports, and the exchange run against a socket pair
// whose receive boundaries are exact.
#ifndef TAVIK_TESTS_PEER_H
#define TAVIK_TESTS_PEER_H

#include <optional>
#include <string>
#include <vector>

// A loopback port that nothing listens on (bound once, then let go).
int free_port();

// Whether something accepts connections on 127.0.0.1:port.
bool port_accepts(int port);

// A socket connected to 127.0.0.1:port, or -1.
int connect_to(int port);

struct fetch_outcome {
  std::optional<std::string> doc;  // the document, when one came back
  std::string err;                 // what the exchange wrote to stderr
  std::string request;             // what it sent
  int request_sends = 0;           // in how many sends (records) it came
  bool fd_closed = false;          // whether it closed its socket
};

// Runs http_exchange on the connected socket fd and collects the document
// and what it wrote to stderr (request and fd_closed stay unset).
fetch_outcome exchange_on(int fd, const char *host, const char *path,
                          int timeout);

// Runs http_exchange against a peer that sends segments, each arriving as one
// receive (a SOCK_SEQPACKET pair), from a thread of its own, then closes,
// or stays open when keep_open. The exchange waits at most timeout seconds.
fetch_outcome fetch_from_segments(const std::vector<std::string> &segments,
                                  bool keep_open = false,
                                  const char *path = "/q?id=1",
                                  int timeout = 1);

// s in pieces of n bytes (the last may be shorter), one receive each.
std::vector<std::string> split_every(const std::string &s, size_t n);

// Receives of at most 1024 bytes with one boundary exactly at cut.
std::vector<std::string> receives_with_boundary_at(const std::string &s,
                                                   size_t cut);

#endif
