// The scripted test peer.
#include "script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

server_script reply(const std::string &bytes) {
  server_script s;
  s.segments.push_back({bytes, 0});
  return s;
}

script_server::script_server(server_script script)
    : script_(std::move(script)) {
  listen_fd_ = socket(AF_INET, SOCK_STREAM, 0);
  if (listen_fd_ < 0) throw std::runtime_error("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (bind(listen_fd_, (sockaddr *)&addr, sizeof addr) < 0 ||
      listen(listen_fd_, 4) < 0)
    throw std::runtime_error("bind/listen");
  socklen_t len = sizeof addr;
  getsockname(listen_fd_, (sockaddr *)&addr, &len);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { serve(); });
}

script_server::~script_server() {
  if (!joined_) thread_.join();
  close(listen_fd_);
}

std::string script_server::request() {
  if (!joined_) {
    thread_.join();
    joined_ = true;
  }
  return request_;
}

bool script_server::connected() {
  request();
  return connected_;
}

// Waits up to ms milliseconds for fd to become readable.
static bool readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, ms) > 0;
}

// Appends what the client sends to *out until it closes, five seconds have
// passed or, with head_only, the request's empty line has come.
static void record(int fd, std::string *out, bool head_only) {
  char buf[4096];
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!(head_only && out->find("\r\n\r\n") != std::string::npos) &&
         std::chrono::steady_clock::now() < deadline) {
    if (!readable(fd, 100)) continue;
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    out->append(buf, (size_t)n);
  }
}

// Keeps fd open and sends nothing for up to ms milliseconds, or until the
// client closes its end: a client that has given up must not wait for the
// rest. What it sends meanwhile goes to *out, unless out is null.
static void hold_silent(int fd, int ms, std::string *out) {
  char buf[4096];
  auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !readable(fd, (int)left.count())) return;
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return;
    if (out != nullptr) out->append(buf, (size_t)n);
  }
}

// Sends each segment in turn, pausing after it as the script says.
static void play(int fd, const std::vector<script_segment> &segments) {
  for (const script_segment &seg : segments) {
    size_t off = 0;
    while (off < seg.bytes.size()) {
      ssize_t n = send(fd, seg.bytes.data() + off, seg.bytes.size() - off,
                       MSG_NOSIGNAL | (seg.urgent ? MSG_OOB : 0));
      if (n <= 0) break;
      off += (size_t)n;
    }
    if (seg.pause_ms > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(seg.pause_ms));
  }
}

void script_server::serve() {
  // A test whose client never connects must not hang here for long.
  if (!readable(listen_fd_, 5000)) return;
  int fd = accept(listen_fd_, nullptr, nullptr);
  if (fd < 0) return;
  connected_ = true;
  if (script_.before_request) play(fd, script_.segments);
  record(fd, &request_, true);
  if (!script_.before_request) play(fd, script_.segments);
  if (script_.silent_ms > 0)
    hold_silent(fd, script_.silent_ms,
                script_.record_to_close ? &request_ : nullptr);
  if (script_.record_to_close) {
    shutdown(fd, SHUT_WR);
    record(fd, &request_, false);
  }
  close(fd);
}
