// Test peers.
#include "peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "capture.h"
#include "http/exchange.h"

static sockaddr_in loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons((unsigned short)port);
  return a;
}

int free_port() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = loopback(0);
  bind(fd, (sockaddr *)&a, sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, (sockaddr *)&a, &len);
  close(fd);
  return ntohs(a.sin_port);
}

int connect_to(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = loopback(port);
  if (connect(fd, (sockaddr *)&a, sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool port_accepts(int port) {
  int fd = connect_to(port);
  if (fd < 0) return false;
  close(fd);
  return true;
}

fetch_outcome exchange_on(int fd, const char *host, const char *path,
                          int timeout) {
  fetch_outcome o;
  int length = -1;
  char *doc = nullptr;
  o.err = capture_stderr(
      [&] { doc = http_exchange(fd, host, path, timeout, &length); });
  if (doc != nullptr) {
    o.doc = std::string(doc, (size_t)length);
    free(doc);
  }
  return o;
}

fetch_outcome fetch_from_segments(const std::vector<std::string> &segments,
                                  bool keep_open, const char *path,
                                  int timeout) {
  int sv[2];
  EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sv), 0);
  // The peer writes from a thread of its own: many small segments would
  // fill the socket's buffer before the exchange starts reading.
  std::thread peer([&] {
    for (const std::string &s : segments)
      if (send(sv[1], s.data(), s.size(), MSG_NOSIGNAL) != (ssize_t)s.size())
        break;
    if (!keep_open) shutdown(sv[1], SHUT_WR);
  });
  fetch_outcome o = exchange_on(sv[0], "wx.example", path, timeout);
  o.fd_closed = fcntl(sv[0], F_GETFD) < 0;
  peer.join();
  static char buf[1 << 16];
  ssize_t n;
  while ((n = recv(sv[1], buf, sizeof buf, MSG_DONTWAIT)) > 0) {
    o.request.append(buf, (size_t)n);
    o.request_sends++;
  }
  close(sv[1]);
  return o;
}

std::vector<std::string> split_every(const std::string &s, size_t n) {
  std::vector<std::string> out;
  for (size_t i = 0; i < s.size(); i += n) out.push_back(s.substr(i, n));
  return out;
}

std::vector<std::string> receives_with_boundary_at(const std::string &s,
                                                   size_t cut) {
  std::vector<std::string> out = split_every(s.substr(0, cut), 1024);
  for (const std::string &piece : split_every(s.substr(cut), 1024))
    out.push_back(piece);
  return out;
}
