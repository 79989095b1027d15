// A scripted loopback HTTP peer for tests: it records what the client
// sends, then plays a script of byte segments with pauses between them, so
// that a CR LF pair or a chunk can be made to straddle the client's
// receives, and then closes or stays silent. The sample server's response
// framings (framing.h) come with it.
#ifndef TAVIK_TESTS_SCRIPT_SERVER_H
#define TAVIK_TESTS_SCRIPT_SERVER_H

#include <string>
#include <thread>
#include <vector>

#include "framing.h"

struct script_segment {
  std::string bytes;
  int pause_ms = 0;     // wait after sending these bytes
  bool urgent = false;  // sent as TCP urgent data (its last byte out of band)
};

struct server_script {
  std::vector<script_segment> segments;
  // After the last segment: hold the connection open this long, or until
  // the client closes it.
  int silent_ms = 0;
  // After the last segment: go on recording whatever the client sends until
  // it closes, so that request() shows anything sent after the request.
  bool record_to_close = false;
  // Play the segments as soon as the client connects, before its request
  // has been read, so that they are there before the client's first wait.
  bool before_request = false;
};

// The whole response in one segment.
server_script reply(const std::string &bytes);

// Binds 127.0.0.1 on an ephemeral port and serves one connection with the
// script in a thread of its own.
class script_server {
 public:
  explicit script_server(server_script script);
  ~script_server();
  script_server(const script_server &) = delete;
  script_server &operator=(const script_server &) = delete;

  int port() const { return port_; }
  // Waits for the connection to finish and returns the request bytes the
  // client sent (up to and including its empty line, or everything it sent
  // with record_to_close).
  std::string request();
  // True when a client connected at all.
  bool connected();

 private:
  void serve();
  server_script script_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::string request_;
  bool connected_ = false;
  std::thread thread_;
  bool joined_ = false;
};

#endif
