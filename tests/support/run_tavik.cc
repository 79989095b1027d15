// The end-to-end runner.
#include "run_tavik.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

extern char **environ;

namespace {

// Where valgrind writes its log in a run under memcheck.
const int kValgrindLogFd = 3;

// A fresh directory under $TMPDIR, or /tmp: CTest points TMPDIR into the
// build tree so that a test run leaves nothing elsewhere.
std::string scratch_dir(const char *name) {
  const char *tmp = getenv("TMPDIR");
  std::string path = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  path = path + "/" + name + "-XXXXXX";
  if (mkdtemp(&path[0]) == nullptr) throw std::runtime_error("mkdtemp");
  return path;
}

}  // namespace

run_result run_tavik(const std::vector<std::string> &args,
                     const std::string &argv0) {
  std::vector<std::string> argv = {argv0};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_tavik_argv(argv);
}

// Fails the current test unless its suite is named ...E2E: tools/valgrind-e2e
// picks the runs of the binary out by that name.
static void require_e2e_suite() {
  const testing::TestInfo *test =
      testing::UnitTest::GetInstance()->current_test_info();
  std::string suite = test != nullptr ? test->test_suite_name() : "";
  if (suite.size() < 3 || suite.compare(suite.size() - 3, 3, "E2E") != 0)
    ADD_FAILURE() << "test suite '" << suite
                  << "' runs the tavik binary: its name must end in E2E, so "
                     "that tools/valgrind-e2e runs it under memcheck";
}

// The environment of a run: the test's own, without what would point
// tavik at the files of whoever runs the tests, plus extra.
static std::vector<std::string> run_environment(
    const std::vector<std::string> &extra) {
  std::vector<std::string> env;
  for (char **e = environ; *e != nullptr; e++)
    if (strncmp(*e, "HOME=", 5) != 0 && strncmp(*e, "XDG_", 4) != 0)
      env.push_back(*e);
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

// Joins words with blanks, for a failure message.
static std::string joined(const std::vector<std::string> &words) {
  std::string out;
  for (const std::string &w : words) out += (out.empty() ? "" : " ") + w;
  return out;
}

run_result run_tavik_argv(const std::vector<std::string> &given,
                          const run_options &options) {
  require_e2e_suite();
  const std::vector<std::string> &launcher = options.launcher;
  const char *stdout_path = options.stdout_path;
  const int closed_fd = options.closed_fd;
  const char *binary =
      options.test_system_file ? TAVIK_TEST_SYSTEM_BINARY : TAVIK_BINARY;
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) < 0 || pipe(err_pipe) < 0)
    throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (stdout_path != nullptr)
    posix_spawn_file_actions_addopen(&actions, 1, stdout_path, O_WRONLY, 0);
  else
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
  posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
  posix_spawn_file_actions_addclose(&actions, out_pipe[1]);
  posix_spawn_file_actions_addclose(&actions, err_pipe[1]);
  if (closed_fd >= 0) posix_spawn_file_actions_addclose(&actions, closed_fd);
  // Copies of one descriptor of /dev/null fill 3 to open_through; the
  // original lies above them and is closed on exec.
  int filler = -1;
  if (options.open_through >= 3) {
    int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    filler = null_fd < 0
                 ? -1
                 : fcntl(null_fd, F_DUPFD_CLOEXEC, options.open_through + 1);
    if (null_fd >= 0) close(null_fd);
    if (filler < 0) throw std::runtime_error("descriptors to fill");
    for (int fd = 3; fd <= options.open_through; fd++)
      posix_spawn_file_actions_adddup2(&actions, filler, fd);
  }

  std::vector<std::string> words = given;
  std::string program = binary, link_dir;
  int log_fd = -1;
  const char *vg_logs = getenv("TAVIK_VALGRIND_LOG_DIR");
  if (!launcher.empty()) {
    if (vg_logs != nullptr)
      throw std::runtime_error("a launched run cannot run under memcheck");
    // The launcher's words, then tavik's path as its argv[0], then the
    // arguments after the given argv[0].
    words = launcher;
    words.push_back(binary);
    if (!given.empty())
      words.insert(words.end(), given.begin() + 1, given.end());
    program = launcher[0];
  } else if (vg_logs != nullptr) {
    // valgrind's log goes to a descriptor of its own, above the standard
    // ones: opened by valgrind itself, it would take a standard descriptor
    // that the test left closed.
    std::string log = std::string(vg_logs) + "/run-XXXXXX.log";
    int fd = mkstemps(&log[0], 4);
    if (fd < 0) throw std::runtime_error("mkstemps");
    log_fd = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    posix_spawn_file_actions_adddup2(&actions, log_fd, kValgrindLogFd);
    // valgrind names the program by its path, so the path ends in the
    // name the test wants to see in diagnostics.
    link_dir = scratch_dir("tavik-vg");
    const std::string argv0 = given.empty() ? "" : given[0];
    std::string name = argv0.substr(argv0.rfind('/') + 1);  // npos + 1 is 0
    if (name.empty()) name = "tavik";
    program = link_dir + "/" + name;
    if (symlink(binary, program.c_str()) != 0)
      throw std::runtime_error("symlink");
    words = {"valgrind",
             "--quiet",
             "--error-exitcode=99",
             "--leak-check=full",
             "--errors-for-leak-kinds=definite",
             "--track-origins=yes",
             "--log-fd=" + std::to_string(kValgrindLogFd),
             program};
    if (!given.empty())
      words.insert(words.end(), given.begin() + 1, given.end());
  }
  std::vector<char *> argv;
  for (std::string &w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  std::vector<std::string> env_words = run_environment(options.env);
  std::vector<char *> envp;
  for (std::string &w : env_words) envp.push_back(&w[0]);
  envp.push_back(nullptr);

  pid_t pid;
  int rc = vg_logs != nullptr && launcher.empty()
               ? posix_spawnp(&pid, "valgrind", &actions, nullptr, argv.data(),
                              envp.data())
               : posix_spawn(&pid, program.c_str(), &actions, nullptr,
                             argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (log_fd >= 0) close(log_fd);
  if (filler >= 0) close(filler);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (rc != 0) throw std::runtime_error("posix_spawn");

  run_result r;
  int fds[2] = {out_pipe[0], err_pipe[0]};
  std::string *sinks[2] = {&r.out, &r.err};
  // A run against a loopback peer takes milliseconds; memcheck makes it a
  // second or two. A hung run fails its own test quickly, saying which.
  const int limit = vg_logs != nullptr ? 60 : 10;
  if (!read_until_closed(fds, sinks, limit)) {
    kill(pid, SIGKILL);
    ADD_FAILURE() << "tavik did not end within " << limit
                  << " s: " << joined(given);
  }
  for (int fd : fds)
    if (fd >= 0) close(fd);
  int status;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.max_rss_kb = usage.ru_maxrss;
  if (!link_dir.empty()) {
    unlink(program.c_str());
    rmdir(link_dir.c_str());
  }
  return r;
}

bool read_until_closed(int fds[2], std::string *sinks[2], int seconds) {
  auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
  while (p[0].fd >= 0 || p[1].fd >= 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || poll(p, 2, (int)left.count()) <= 0) return false;
    for (int i = 0; i < 2; i++) {
      if (p[i].fd < 0 || p[i].revents == 0) continue;
      char buf[65536];
      ssize_t n = read(p[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, (size_t)n);
      } else {  // end of the pipe, or EIO once a terminal's other end closes
        close(p[i].fd);
        p[i].fd = fds[i] = -1;
      }
    }
  }
  return true;
}

run_result run_tavik_launched(const std::vector<std::string> &launcher,
                              const std::vector<std::string> &args) {
  run_options options;
  options.launcher = launcher;
  std::vector<std::string> argv = {"tavik"};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_tavik_argv(argv, options);
}

temp_file::temp_file(const std::string &content, const char *name) {
  dir_ = scratch_dir("tavik-test");
  path_ = dir_ + "/" + name;
  FILE *f = fopen(path_.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("fopen");
  fwrite(content.data(), 1, content.size(), f);
  fclose(f);
}

temp_file::~temp_file() {
  unlink(path_.c_str());
  rmdir(dir_.c_str());
}

std::string allow_descriptors_through(int open_through) {
  rlimit lim;
  getrlimit(RLIMIT_NOFILE, &lim);
  const rlim_t want = (rlim_t)open_through + 64;
  if (lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur >= want) return "";
  if (lim.rlim_max != RLIM_INFINITY && lim.rlim_max < want)
    return "RLIMIT_NOFILE allows no descriptor past " +
           std::to_string(open_through);
  lim.rlim_cur = want;
  if (setrlimit(RLIMIT_NOFILE, &lim) != 0)
    return "RLIMIT_NOFILE cannot be raised past " +
           std::to_string(open_through);
  return "";
}

std::string config_for_port(int port) {
  return "URL http://127.0.0.1:" + std::to_string(port) +
         "/data/current?id=$l&units=$u&appid=$a\nAPPID key\nLOCATION 3003\n";
}
