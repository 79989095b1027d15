// tavik against real HTTP servers that no one here wrote: nginx serving a
// static file (Content-Length) and Node.js's http module (chunked).
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "peer.h"
#include "run_tavik.h"
#include "sample_docs.h"
#include "samples.h"

extern char **environ;

namespace {

// Finds program on PATH or in the usual sbin directories.
std::string find_program(const char *name) {
  std::string path = getenv("PATH") ? getenv("PATH") : "";
  path += ":/usr/sbin:/usr/local/sbin:/sbin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string candidate = path.substr(start, end - start) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

// A server process, stopped and reaped with the object.
struct peer_process {
  pid_t pid = -1;
  int out_fd = -1;
  ~peer_process() {
    if (pid > 0) {
      // Asked to stop; killed when it has not within a few seconds.
      kill(pid, SIGTERM);
      auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (waitpid(pid, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
          ADD_FAILURE() << "a peer server did not stop on SIGTERM";
          kill(pid, SIGKILL);
          waitpid(pid, nullptr, 0);
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    if (out_fd >= 0) close(out_fd);
  }
  bool start(const std::vector<std::string> &words) {
    int p[2];
    if (pipe(p) != 0) return false;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, p[1], 1);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&fa, p[0]);
    std::vector<char *> argv;
    std::vector<std::string> copy = words;
    for (std::string &w : copy) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(p[1]);
    out_fd = p[0];
    if (rc != 0) pid = -1;
    return rc == 0;
  }
  // The first line the process prints, waiting up to ms.
  std::string first_line(int ms) {
    std::string line;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (line.find('\n') == std::string::npos &&
           std::chrono::steady_clock::now() < end) {
      pollfd p{out_fd, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buf[256];
      ssize_t n = read(out_fd, buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, (size_t)n);
    }
    return line.substr(0, line.find('\n'));
  }
};

std::string document() {
  std::string doc;
  EXPECT_TRUE(sample_document(3003, "metric", &doc));
  // Long enough to span many receives and chunks.
  std::string padding;
  for (int i = 0; i < 200; i++)
    padding += "<!-- line " + std::to_string(i) + " -->\r\n";
  return doc.insert(doc.find("<current>"), padding);
}

void check_runs(int port, const std::string &doc) {
  temp_file conf("URL http://127.0.0.1:" + std::to_string(port) +
                 "/current.xml?id=$l\nAPPID k\nLOCATION 3003\n");
  run_result r = run_tavik({"-c", conf.path(), "-D"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Raw XML data:\n" + doc + "\n" + kMillbrookReport);
}

TEST(PeersE2E, NginxStaticFileWithContentLength) {
  std::string nginx = find_program("nginx");
  if (nginx.empty()) GTEST_SKIP() << "nginx is not installed";
  std::string doc = document();
  temp_file file(doc, "current.xml");
  const std::string &dir = file.dir();
  int port = free_port();
  // Everything nginx writes goes to dir.
  std::string text = "daemon off;\nmaster_process off;\n";
  text += "error_log " + dir + "/error.log;\npid " + dir + "/nginx.pid;\n";
  text += "events { worker_connections 16; }\nhttp {\n access_log off;\n";
  for (const char *temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
    text += std::string(" ") + temp + "_temp_path " + dir + ";\n";
  text += " server {\n  listen 127.0.0.1:" + std::to_string(port) + ";\n";
  text += "  root " + dir + ";\n  default_type text/xml;\n }\n}\n";
  temp_file conf(text, "nginx.conf");
  bool started;
  {
    peer_process server;
    ASSERT_TRUE(server.start({nginx, "-p", dir, "-c", conf.path()}));
    for (int i = 0; i < 100 && !port_accepts(port); i++)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    started = port_accepts(port);
    if (started) check_runs(port, doc);
  }
  // What nginx wrote beside the document goes, so the directory can.
  unlink((dir + "/error.log").c_str());
  unlink((dir + "/nginx.pid").c_str());
  if (!started) GTEST_SKIP() << "nginx did not start";
}

TEST(PeersE2E, NodeHttpModuleChunked) {
  std::string node = find_program("node");
  if (node.empty()) node = find_program("nodejs");
  if (node.empty()) GTEST_SKIP() << "Node.js is not installed";
  std::string doc = document();
  temp_file file(doc, "current.xml");
  for (const char *piece : {"97", "1024", "5"}) {
    peer_process server;
    ASSERT_TRUE(server.start(
        {node, PEERS_DIR "/chunked_server.js", file.path(), piece}));
    std::string port = server.first_line(10000);
    if (port.empty()) GTEST_SKIP() << "Node.js did not start";
    check_runs(std::stoi(port), doc);
  }
}

}  // namespace
