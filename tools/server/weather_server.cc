// weather-server: a small loopback weather service for the demo, the
// benchmarks and trying tavik out. It answers GET requests whose query
// names a location ("id=") and units ("units=") with a current-weather
// document, or serves one file for every request. Given a key (-k), it
// answers a request whose "key=" is another with 401 and an error
// document, as the service does; without one it takes any key. For tests
// it can answer slowly (-d), write down each request target it reads (-l),
// and send a file as the whole response, status line and headers included
// (-r).
//
//   weather-server [-c chunk] [-d delay-ms] [-f file | -r file] [-k key]
//                  [-l logfile] [-n count] [-P portfile] [-p port]
//                  [-t idle-seconds]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "framing.h"
#include "sample_docs.h"

static void usage(void) {
  fprintf(stderr,
          "usage: weather-server [-c chunk] [-d delay-ms] "
          "[-f file | -r file] [-k key] [-l logfile] [-n count] "
          "[-P portfile] [-p port] [-t idle-seconds]\n");
  exit(2);
}

// The value of key in the request target's query, or "" when absent.
static std::string query_value(const std::string &target, const char *key) {
  size_t q = target.find('?');
  if (q == std::string::npos) return "";
  std::string query = target.substr(q + 1);
  size_t pos = 0;
  while (pos <= query.size()) {
    size_t amp = query.find('&', pos);
    if (amp == std::string::npos) amp = query.size();
    std::string pair = query.substr(pos, amp - pos);
    size_t eq = pair.find('=');
    if (eq != std::string::npos && pair.compare(0, eq, key) == 0)
      return pair.substr(eq + 1);
    pos = amp + 1;
  }
  return "";
}

static bool read_file(const char *path, std::string *out) {
  FILE *f = fopen(path, "rb");
  if (f == nullptr) return false;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
  fclose(f);
  return true;
}

static void send_all(int fd, const std::string &bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return;
    off += (size_t)n;
  }
}

// A response that refuses the request: the status line's code and reason,
// and a body of the given type.
static std::string refusal(const char *status, const char *type,
                           const std::string &body) {
  return std::string("HTTP/1.1 ") + status + "\r\nContent-Type: " + type +
         "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

// The answer to a request whose key is not the one the service gave out:
// a short error document, as a service sends in place of the weather.
static std::string wrong_key_response(void) {
  return refusal("401 Unauthorized", "text/xml",
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<error><code>401</code><message>Invalid key: send the key "
                 "this service gave you as key=.</message></error>\n");
}

// Reads the request head; returns the request target, or "" on failure.
static std::string read_request(int fd) {
  std::string head;
  char buf[2048];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) return "";
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return "";
    head.append(buf, (size_t)n);
  }
  size_t sp1 = head.find(' ');
  size_t sp2 = sp1 == std::string::npos ? sp1 : head.find(' ', sp1 + 1);
  if (sp2 == std::string::npos) return "";
  return head.substr(sp1 + 1, sp2 - sp1 - 1);
}

int main(int argc, char **argv) {
  const char *file = nullptr, *port_file = nullptr, *log_file = nullptr;
  const char *key = nullptr;
  long chunk = 0, count = -1, idle = 600, delay = 0;
  int port = 0;
  bool raw = false;
  int c;
  while ((c = getopt(argc, argv, "c:d:f:k:l:n:P:p:r:t:")) != -1) {
    switch (c) {
      case 'c':
        chunk = strtol(optarg, nullptr, 10);
        break;
      case 'd':
        delay = strtol(optarg, nullptr, 10);
        break;
      case 'f':
      case 'r':
        file = optarg;
        raw = c == 'r';
        break;
      case 'k':
        key = optarg;
        break;
      case 'l':
        log_file = optarg;
        break;
      case 'n':
        count = strtol(optarg, nullptr, 10);
        break;
      case 'P':
        port_file = optarg;
        break;
      case 'p':
        port = (int)strtol(optarg, nullptr, 10);
        break;
      case 't':
        idle = strtol(optarg, nullptr, 10);
        break;
      default:
        usage();
    }
  }
  if (optind != argc) usage();
  signal(SIGPIPE, SIG_IGN);

  // A file is framed once, so that serving it costs no more than sending.
  std::string file_response;
  if (file != nullptr) {
    std::string body;
    if (!read_file(file, &body)) {
      fprintf(stderr, "weather-server: cannot read %s\n", file);
      return 1;
    }
    file_response = raw         ? body
                    : chunk > 0 ? chunked_response(body, (size_t)chunk)
                                : content_length_response(body);
  }

  // Each line is written out at once, so that a test can count the
  // requests while the server still runs.
  FILE *log = nullptr;
  if (log_file != nullptr && (log = fopen(log_file, "a")) == nullptr) {
    perror("weather-server: log file");
    return 1;
  }

  int lfd = socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only, always
  addr.sin_port = htons((unsigned short)port);
  if (bind(lfd, (sockaddr *)&addr, sizeof addr) < 0 || listen(lfd, 16) < 0) {
    perror("weather-server: bind");
    return 1;
  }
  socklen_t len = sizeof addr;
  getsockname(lfd, (sockaddr *)&addr, &len);
  port = ntohs(addr.sin_port);
  if (port_file != nullptr) {
    std::string tmp = std::string(port_file) + ".tmp";
    FILE *f = fopen(tmp.c_str(), "w");
    if (f == nullptr || fprintf(f, "%d\n", port) < 0 || fclose(f) != 0 ||
        rename(tmp.c_str(), port_file) != 0) {
      perror("weather-server: port file");
      return 1;
    }
  } else {
    printf("%d\n", port);
    fflush(stdout);
  }

  for (long served = 0; count < 0 || served < count; served++) {
    pollfd p{lfd, POLLIN, 0};
    if (poll(&p, 1, (int)(idle * 1000)) <= 0) break;  // idle: go away
    int fd = accept(lfd, nullptr, nullptr);
    if (fd < 0) continue;
    std::string target = read_request(fd);
    if (log != nullptr) {
      fprintf(log, "%s\n", target.c_str());
      fflush(log);
    }
    if (delay > 0) poll(nullptr, 0, (int)delay);
    std::string body;
    bool found = true;
    // The key is checked first, as a service does: a wrong key learns
    // nothing about the locations.
    bool key_ok = key == nullptr || query_value(target, "key") == key;
    if (key_ok && file == nullptr) {
      std::string id = query_value(target, "id");
      found =
          !id.empty() && sample_document(strtol(id.c_str(), nullptr, 10),
                                         query_value(target, "units"), &body);
    }
    if (!key_ok) {
      send_all(fd, wrong_key_response());
    } else if (file != nullptr) {
      send_all(fd, file_response);
    } else if (!found) {
      send_all(fd, refusal("404 Not Found", "text/plain",
                           std::string("unknown location; try ") +
                               sample_locations() + "\n"));
    } else if (chunk > 0) {
      send_all(fd, chunked_response(body, (size_t)chunk));
    } else {
      send_all(fd, content_length_response(body));
    }
    shutdown(fd, SHUT_WR);
    close(fd);
  }
  close(lfd);
  if (log != nullptr) fclose(log);
  return 0;
}
