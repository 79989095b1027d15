// The detached refresh: the lock, the request stamp written before the
// request, tavik run with a time limit, and its answer stored.
#include "status/refresh.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>

#include "status/cache.h"
#include "status/clean.h"
#include "status/reading.h"

namespace {

// Bytes kept of tavik's output: its line, and its diagnostics, are short.
const size_t kOutputLimit = 65536;

// What a tavik run gave.
struct tavik_run {
  int status = -1;  // exit status; -1 when killed or not run
  std::string out, err;
};

// Runs tavik with the user's options and -z with the field separator, in
// a process group of its own, killed with its group after time_limit
// seconds.
tavik_run run_tavik(const refresh_job &job) {
  tavik_run r;
  int out[2], err[2];
  if (pipe(out) != 0) return r;
  if (pipe(err) != 0) {
    close(out[0]);
    close(out[1]);
    return r;
  }
  std::vector<std::string> words = {job.program};
  words.insert(words.end(), job.args.begin(), job.args.end());
  words.push_back("-z");
  words.push_back("-d");
  words.push_back(std::string(1, kFieldSeparator));
  std::vector<char *> argv;
  for (std::string &w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    closefrom(STDERR_FILENO + 1);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    close(out[0]);
    close(err[0]);
    return r;
  }
  setpgid(pid, pid);
  auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(job.time_limit);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string *sinks[2] = {&r.out, &r.err};
  bool killed = false;
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      killed = true;
      break;
    }
    int n = poll(fds, 2, (int)left.count());
    if (n < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; i++) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[4096];
      ssize_t got = read(fds[i].fd, buf, sizeof buf);
      if (got <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
      } else if (sinks[i]->size() < kOutputLimit) {
        sinks[i]->append(buf, (size_t)got);
      }
    }
  }
  for (pollfd &p : fds)
    if (p.fd >= 0) close(p.fd);
  // The group goes whatever happened, so that nothing tavik left behind
  // goes on asking.
  kill(-pid, SIGKILL);
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!killed && WIFEXITED(status)) r.status = WEXITSTATUS(status);
  if (killed) r.err += "tavik-status: no answer within the time limit\n";
  return r;
}

// tavik's diagnostics, each line cleaned as the service's text is.
std::string cleaned_lines(const std::string &text) {
  std::istringstream in(text);
  std::string line, out;
  while (std::getline(in, line)) out += clean_text(line) + "\n";
  return out;
}

// The refresh itself, in the detached process. Returns its exit status.
int refresh(const refresh_job &job) {
  // The kernel lets the lock go when this process ends, however it ends.
  if (take_lock(job.dir) < 0) return 1;
  remove_leftovers(job.dir);
  // Another refresh may have asked while this one waited for the lock.
  cache_record rec = read_record(job.dir, job.key);
  time_t now = time(nullptr);
  if (still_fresh(rec.asked, now, job.interval)) return 0;
  // The request counts from the moment it is made, even if this process
  // is killed in it; a request that cannot be written down is not made.
  rec.asked = now;
  if (!write_record(job.dir, job.key, rec)) return 1;
  tavik_run run = run_tavik(job);
  std::string line = run.out.substr(0, run.out.find('\n'));
  reading got;
  if (parse_reading(line, run.status, &got)) {
    rec.failed = false;
    // The reading's age counts from its arrival.
    rec.good = time(nullptr);
    rec.last = got;
  } else {
    rec.failed = true;
    if (run.status == 0 && run.err.empty())
      run.err = "tavik-status: the answer was no weather report\n";
  }
  replace_file(job.dir, "errors", cleaned_lines(run.err));
  return write_record(job.dir, job.key, rec) ? 0 : 1;
}

}  // namespace

bool still_fresh(time_t asked, time_t now, int interval) {
  return asked != 0 && asked <= now && now - asked < interval;
}

int start_refresh(const refresh_job &job) {
  int done[2];
  if (pipe(done) != 0) return -1;
  pid_t pid = fork();
  if (pid < 0) {
    close(done[0]);
    close(done[1]);
    return -1;
  }
  if (pid == 0) {
    // A session of its own, and a second fork so that it is no session
    // leader and cannot gain a terminal: the bar's process group, its
    // terminal and its signals do not reach it.
    setsid();
    if (fork() != 0) _exit(0);
    int null = open("/dev/null", O_RDWR);
    if (null < 0) _exit(1);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    // What it keeps: the cache directory and the end of the pipe whose
    // closing tells the waiting run that it is done.
    refresh_job own = job;
    int dir = fcntl(job.dir, F_DUPFD, 10);
    int end = fcntl(done[1], F_DUPFD, 10);
    own.dir = dup2(dir, 3);
    if (own.dir < 0 || dup2(end, 4) < 0) _exit(1);
    closefrom(5);
    signal(SIGPIPE, SIG_IGN);
    _exit(refresh(own));
  }
  close(done[1]);
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return done[0];
}
