// Runs the built tavik binary as a user would and collects what it did.
#ifndef TAVIK_TESTS_RUN_TAVIK_H
#define TAVIK_TESTS_RUN_TAVIK_H

#include <string>
#include <vector>

struct run_result {
  std::string out;      // standard output
  std::string err;      // standard error
  int status = -1;      // exit status, or 128 + signal
  long max_rss_kb = 0;  // peak resident memory of the run
};

// Runs tavik with argv[0] set to argv0 and the given arguments. Standard
// input is /dev/null. Only tests of a suite named ...E2E may call it (the
// test fails otherwise). With TAVIK_VALGRIND_LOG_DIR set in the environment
// the run goes through valgrind's memcheck, which logs there.
run_result run_tavik(const std::vector<std::string> &args,
                     const std::string &argv0 = "tavik");

// How run_tavik_argv runs the program.
struct run_options {
  // Standard output goes to this file instead of being collected.
  const char *stdout_path = nullptr;
  // Started with this standard descriptor (0, 1 or 2) closed; nothing is
  // collected from it.
  int closed_fd = -1;
  // Run the tests' copy of tavik, whose system-wide configuration file is
  // TEST_SYSTEM_CONFIG, in place of the one built to be installed.
  bool test_system_file = false;
  // VAR=VALUE words added to the environment. Every run starts without
  // HOME and the XDG_ variables, so that no file of the user who runs the
  // tests is read.
  std::vector<std::string> env;
  // Started by this launcher: the program run is launcher[0], given the
  // rest of launcher, then tavik's path (which is tavik's argv[0]) and the
  // arguments after argv[0]. Such as env(1) with VAR=VALUE words, or a
  // program that changes the process and then executes its arguments. Not
  // under memcheck.
  std::vector<std::string> launcher;
  // Descriptors 3 up to this one are open (on /dev/null) when tavik starts,
  // so that those it opens itself are numbered above it. The caller's
  // RLIMIT_NOFILE must allow a few more.
  int open_through = -1;
};

// Runs tavik with exactly this argument vector, which may be empty (no
// argv[0] at all). A run that has not ended after a few seconds is killed
// and fails the test.
run_result run_tavik_argv(const std::vector<std::string> &argv,
                          const run_options &options = run_options());

// run_tavik_argv with options.launcher set to launcher, for args.
run_result run_tavik_launched(const std::vector<std::string> &launcher,
                              const std::vector<std::string> &args);

// Reads fds[0] and fds[1] (either may be -1), a child's output, into
// sinks until both end, closing each at its end (it is then -1). Returns
// false when they have not ended within seconds; what is still open stays
// open for the caller.
bool read_until_closed(int fds[2], std::string *sinks[2], int seconds);

// A file in a fresh temporary directory, removed with the object.
class temp_file {
 public:
  explicit temp_file(const std::string &content, const char *name = "t.conf");
  ~temp_file();
  const std::string &path() const { return path_; }
  const std::string &dir() const { return dir_; }

 private:
  std::string dir_, path_;
};

// Raises RLIMIT_NOFILE so that a run with run_options.open_through set to
// open_through can still open a few descriptors of its own. Returns "" when
// it could, else why not, for the test to skip with.
std::string allow_descriptors_through(int open_through);

// A configuration naming a server on 127.0.0.1:port.
std::string config_for_port(int port);

#endif
