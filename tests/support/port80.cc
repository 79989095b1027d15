// Runs a program in a network of its own where a server listens on
// 127.0.0.1:80, the http service's port, which an ordinary user cannot
// bind on the machine itself:
//   port80 RESPONSE-FILE REQUEST-FILE PROGRAM [ARG...]
// It enters a new user and network namespace (as root of the first, so
// that it may bring up loopback and bind port 80), starts PROGRAM with
// PROGRAM as its argv[0], answers its one connection with the bytes of
// RESPONSE-FILE, writes the request it read to REQUEST-FILE, and exits
// with PROGRAM's status. Where namespaces cannot be made it says why on
// stderr and exits 77 without running PROGRAM. Linux only.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

static int cannot(const char *what) {
  fprintf(stderr, "port80: %s: %s\n", what, strerror(errno));
  return 77;
}

static bool write_file(const char *path, const std::string &text) {
  int fd = open(path, O_WRONLY);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == (ssize_t)text.size();
  close(fd);
  return ok;
}

// Maps this user to root of the new user namespace.
static bool map_to_root(uid_t uid, gid_t gid) {
  return write_file("/proc/self/setgroups", "deny") &&
         write_file("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
         write_file("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
}

static bool loopback_up(void) {
  int s = socket(AF_INET, SOCK_DGRAM, 0);
  if (s < 0) return false;
  ifreq ifr = {};
  strcpy(ifr.ifr_name, "lo");
  bool ok = ioctl(s, SIOCGIFFLAGS, &ifr) == 0;
  ifr.ifr_flags |= IFF_UP;
  ok = ok && ioctl(s, SIOCSIFFLAGS, &ifr) == 0;
  close(s);
  return ok;
}

int main(int argc, char **argv) {
  if (argc < 4) {
    fprintf(stderr,
            "usage: port80 RESPONSE-FILE REQUEST-FILE PROGRAM [ARG...]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream response;
  response << in.rdbuf();
  uid_t uid = getuid();
  gid_t gid = getgid();
  if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
    return cannot("unshare(CLONE_NEWUSER | CLONE_NEWNET)");
  if (!map_to_root(uid, gid)) return cannot("mapping the user to root");
  if (!loopback_up()) return cannot("bringing loopback up");
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(80);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (listener < 0 || bind(listener, (sockaddr *)&addr, sizeof addr) != 0 ||
      listen(listener, 1) != 0)
    return cannot("listening on 127.0.0.1:80");

  pid_t pid = fork();
  if (pid == 0) {
    execv(argv[3], argv + 3);
    _exit(127);
  }
  std::string request;
  pollfd p = {listener, POLLIN, 0};
  if (poll(&p, 1, 5000) == 1) {
    int conn = accept(listener, nullptr, nullptr);
    char buf[4096];
    ssize_t n;
    while (conn >= 0 && request.find("\r\n\r\n") == std::string::npos &&
           (n = recv(conn, buf, sizeof buf, 0)) > 0)
      request.append(buf, (size_t)n);
    std::string bytes = response.str();
    if (conn >= 0) {
      if (send(conn, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0)
        perror("port80: send");
      close(conn);
    }
  }
  std::ofstream(argv[2], std::ios::binary) << request;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
