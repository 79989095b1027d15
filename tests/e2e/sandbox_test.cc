// The sandbox: entered in a child process, so that the test process stays
// free, it refuses files, sockets and programs and leaves what a run needs;
// the program runs inside it, and runs on where the system refuses it.
#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <expat.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/syscall.h>
#endif

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "run_tavik.h"
#include "sample_docs.h"
#include "samples.h"
#include "sandbox/sandbox.h"
#include "script_server.h"

namespace {

#ifdef TAVIK_SANDBOX
const bool kSandboxBuilt = true;
#else
const bool kSandboxBuilt = false;
#endif

// The seccomp sandbox's end-to-end helpers (tests/support), where built.
#ifdef PARSER_SPY
const char kParserSpy[] = PARSER_SPY;
const char kRefuseSandbox[] = REFUSE_SANDBOX;
#else
const char kParserSpy[] = "";
const char kRefuseSandbox[] = "";
#endif

// How the sandbox refuses a call: EPERM from the seccomp filter, or
// Capsicum's two errors (or EBADF: there the sandbox closes what the run
// inherited beyond the standard descriptors).
bool is_refusal(int error) {
#ifdef __FreeBSD__
  return error == ECAPMODE || error == ENOTCAPABLE || error == EBADF;
#else
  return error == EPERM;
#endif
}

// What a check has to work with, all made before the sandbox is entered.
// Standard input is the readable file, opened once more.
struct scene {
  int sock;              // one end of a connected stream pair; "ping" waits
  int other;             // one end of a second pair; "ping" waits there too
  int spare;             // a TCP socket, not connected
  int readable_fd;       // the readable file, open for reading
  int writable_fd;       // another file, open for reading and writing
  int folder_fd;         // the readable file's folder, open
  pid_t bystander;       // another process, which a signal would end
  int bystander_pidfd;   // a process descriptor of it, or -1 (Linux alone)
  sockaddr_in listener;  // a loopback address that accepts connections
  std::string readable;  // an existing file
  std::string fresh;     // a name not yet taken, in a writable folder
};

// A check, run inside the sandbox: 0 when the call did what a run needs,
// else the errno it failed with, or -1 for a wrong result.
typedef int (*check_fn)(const scene &);

// The errno of a call that failed, or 0.
int error_of(long rc) { return rc < 0 ? errno : 0; }

// 0 when the call gave want, else as check_fn says.
int expect(long rc, long want) { return rc == want ? 0 : rc < 0 ? errno : -1; }

// The errno of a mapping that failed, or 0 after writing into the one made
// (a shared mapping of a file then changes the file).
int map_error(void *p) {
  if (p == MAP_FAILED) return errno;
  memcpy(p, "lost", 4);
  return 0;
}

// What the writable file holds before a check, and must still hold after.
const char kWritableText[] = "kept\n";

#if defined(__linux__) && defined(__x86_64__)
// open("/") through the i386 system call gate, as code injected into a
// 64-bit process could call it. Returns the result or -errno.
long i386_open() {
  static const char path[] = "/";
  long rc;
  asm volatile("int $0x80"
               : "=a"(rc)
               : "a"(5L), "b"(path), "c"(0L)
               : "memory", "r8", "r9", "r10", "r11");
  return rc;
}

// Whether this kernel runs i386 system calls at all (a child tries one).
bool i386_calls_run() {
  pid_t pid = fork();
  if (pid == 0) {
    long rc;
    asm volatile("int $0x80"
                 : "=a"(rc)
                 : "a"(20L)  // getpid
                 : "memory", "r8", "r9", "r10", "r11");
    _exit(rc == getpid() ? 0 : 1);
  }
  int status;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}
#endif

// A socket listening on a free loopback port, whose address goes to *addr.
int loopback_listener(sockaddr_in *addr) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  *addr = {};
  addr->sin_family = AF_INET;
  addr->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof *addr;
  if (fd < 0 || bind(fd, (sockaddr *)addr, len) != 0 || listen(fd, 4) != 0 ||
      getsockname(fd, (sockaddr *)addr, &len) != 0)
    throw std::runtime_error("listener");
  return fd;
}

// Whether a pseudo-terminal can be made and its terminal side opened: a
// chroot that has /dev but not /dev/pts gives the first without the second.
bool pseudo_terminals_work() {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) return false;
  bool works = false;
  if (grantpt(master) == 0 && unlockpt(master) == 0) {
    const char *name = ptsname(master);
    int t = name != nullptr ? open(name, O_RDWR | O_NOCTTY) : -1;
    works = t >= 0;
    if (t >= 0) close(t);
  }
  close(master);
  return works;
}

// What the child of run_sandboxed did.
struct sandboxed_run {
  bool reported = false;       // it wrote a result line
  bool entered = false;        // enter_sandbox said the process is confined
  int result = 0;              // the check's result
  bool created = false;        // the fresh name exists afterwards
  bool writable_kept = false;  // the writable file holds what it held
  bool other_heard = false;    // something reached the second pair's far end
  bool bystander_hit = false;  // a signal reached the other process
  std::string out, err;  // its stdout and stderr, from the result line on cut
  std::string terminal;  // with on_terminal: all it wrote there, uncut
  int status = -1;       // exit status, or 128 + signal
};

// Forks a child that enters the sandbox with one end of a stream pair and
// runs check, and collects what it did. The child's stdout and stderr are
// pipes, or, with on_terminal, both the same pseudo-terminal. Its result
// comes last on stderr as "= RESULT ENTERED", written with write(2) as a
// run writes.
sandboxed_run run_sandboxed(check_fn check, bool on_terminal = false) {
  sandboxed_run r;
  // A child that leaves no core file when a signal ends it.
  auto no_core = [] {
    const rlimit none = {0, 0};
    setrlimit(RLIMIT_CORE, &none);
  };
  fflush(stdout);  // nothing of the parent's is left for a child to write
  fflush(stderr);
  // Forked first, so that it holds none of the descriptors below.
  pid_t bystander = fork();
  if (bystander == 0) {
    no_core();
    for (;;) pause();
  }
  temp_file file("text\n", "readable");
  temp_file writable(kWritableText, "writable");
  scene s;
  s.readable = file.path();
  s.fresh = file.dir() + "/fresh";
  int listener = loopback_listener(&s.listener);
  s.spare = socket(AF_INET, SOCK_STREAM, 0);
  s.readable_fd = open(s.readable.c_str(), O_RDONLY);
  s.writable_fd = open(writable.path().c_str(), O_RDWR);
  s.folder_fd = open(file.dir().c_str(), O_RDONLY | O_DIRECTORY);
  int input = open(s.readable.c_str(), O_RDONLY);
  int pair[2], other[2], out[2], err[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0 ||
      socketpair(AF_UNIX, SOCK_STREAM, 0, other) != 0 || pipe(out) != 0 ||
      pipe(err) != 0 || s.readable_fd < 0 || s.writable_fd < 0 ||
      s.folder_fd < 0 || input < 0)
    throw std::runtime_error("socketpair, pipe, open");
  s.sock = pair[0];
  s.other = other[0];
  s.bystander = bystander;
#ifdef SYS_pidfd_open
  s.bystander_pidfd = (int)syscall(SYS_pidfd_open, bystander, 0);
#else
  s.bystander_pidfd = -1;
#endif
  if (send(pair[1], "ping", 4, 0) != 4 || send(other[1], "ping", 4, 0) != 4)
    throw std::runtime_error("send");
  int terminal = -1;
  std::string term_name;
  if (on_terminal) {
    terminal = posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0)
      throw std::runtime_error("pseudo-terminal");
    term_name = ptsname(terminal);
  }
  pid_t pid = fork();
  if (pid == 0) {
    if (on_terminal) {
      int t = open(term_name.c_str(), O_RDWR | O_NOCTTY);
      dup2(t, 1);
      dup2(t, 2);
      close(t);
      close(terminal);
    } else {
      dup2(out[1], 1);
      dup2(err[1], 2);
    }
    dup2(input, 0);
    for (int fd :
         {out[0], out[1], err[0], err[1], pair[1], other[1], listener, input})
      close(fd);
    no_core();
    // stdout as a program starts with it: no buffer yet, and the
    // buffering not chosen until the first write.
    if (freopen(nullptr, "w", stdout) == nullptr) _exit(3);
    bool entered = enter_sandbox(s.sock, true);
    int result = check(s);
    char line[32];
    int n = snprintf(line, sizeof line, "= %d %d\n", result, entered);
    if (write(2, line, (size_t)n) != n) _exit(3);
    exit(0);
  }
  for (int fd : {out[1], err[1], pair[0], other[0], s.spare, s.readable_fd,
                 s.writable_fd, s.folder_fd, input, s.bystander_pidfd})
    if (fd >= 0) close(fd);
  std::string *sinks[2] = {&r.out, &r.err};
  int fds[2] = {out[0], err[0]};
  if (on_terminal) {
    close(out[0]);
    close(err[0]);
    fds[0] = -1;
    fds[1] = terminal;
    sinks[1] = &r.out;
  }
  if (!read_until_closed(fds, sinks, 5)) kill(pid, SIGKILL);
  for (int fd : fds)
    if (fd >= 0) close(fd);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  kill(bystander, SIGKILL);
  waitpid(bystander, &status, 0);
  r.bystander_hit = !WIFSIGNALED(status) || WTERMSIG(status) != SIGKILL;
  char heard[16];
  r.other_heard = recv(other[1], heard, sizeof heard, MSG_DONTWAIT) > 0;
  std::ifstream kept(writable.path(), std::ios::binary);
  r.writable_kept =
      std::string((std::istreambuf_iterator<char>(kept)),
                  std::istreambuf_iterator<char>()) == kWritableText;
  close(other[1]);
  close(pair[1]);
  close(listener);
  r.terminal = on_terminal ? r.out : "";
  std::string &got = on_terminal ? r.out : r.err;
  size_t at = got.rfind("= ");
  int entered = 0;
  if (at != std::string::npos &&
      sscanf(got.c_str() + at, "= %d %d", &r.result, &entered) == 2) {
    r.reported = true;
    r.entered = entered == 1;
    got.erase(at);
  }
  r.created = unlink(s.fresh.c_str()) == 0;
  return r;
}

// How a child's run reads in a failure message.
std::string describe(const sandboxed_run &r) {
  std::ostringstream o;
  if (!r.reported)
    o << "no result (exit status " << r.status << ")";
  else if (!r.entered && kSandboxBuilt)
    o << "the sandbox was not entered";
  else if (r.result > 0)
    o << "errno " << r.result << " (" << strerror(r.result) << ")";
  else
    o << "result " << r.result;
  o << "; stderr: " << r.err;
  return o.str();
}

struct check {
  const char *name;
  check_fn fn;
};

TEST(Sandbox, RefusesFilesSocketsAndPrograms) {
  if (!kSandboxBuilt) GTEST_SKIP() << "this build has no sandbox";
  std::vector<check> checks = {
    {"open a file",
     [](const scene &s) { return error_of(open(s.readable.c_str(), 0)); }},
    {"create a file",
     [](const scene &s) {
       return error_of(
           open(s.fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600));
     }},
    {"make a socket and connect it",
     [](const scene &s) {
       int fd = socket(AF_INET, SOCK_STREAM, 0);
       if (fd < 0) return errno;
       return error_of(
           connect(fd, (const sockaddr *)&s.listener, sizeof s.listener));
     }},
    {"connect a socket made before",
     [](const scene &s) {
       return error_of(
           connect(s.spare, (const sockaddr *)&s.listener, sizeof s.listener));
     }},
    {"run a program",
     [](const scene &) {
       execl("/bin/sh", "sh", "-c", "exit 0", (char *)nullptr);
       return errno;
     }},
    // Descriptors the run inherited, beside the standard ones and the
    // connection, carry nothing in or out.
    {"send on an inherited socket",
     [](const scene &s) {
       return error_of(send(s.other, "lost", 4, MSG_NOSIGNAL));
     }},
    {"receive from an inherited socket",
     [](const scene &s) {
       char buf[8];
       return error_of(recv(s.other, buf, sizeof buf, MSG_DONTWAIT));
     }},
    {"write a file through an inherited descriptor",
     [](const scene &s) { return error_of(write(s.writable_fd, "lost", 4)); }},
    {"write a file through an inherited descriptor with writev",
     [](const scene &s) {
       iovec v = {(void *)"lost", 4};
       return error_of(writev(s.writable_fd, &v, 1));
     }},
    {"read a file through an inherited descriptor",
     [](const scene &s) {
       char buf[8];
       return error_of(read(s.readable_fd, buf, sizeof buf));
     }},
    {"read standard input",
     [](const scene &) {
       char buf[8];
       return error_of(read(STDIN_FILENO, buf, sizeof buf));
     }},
    {"open a file under an inherited folder descriptor",
     [](const scene &s) {
       return error_of(openat(s.folder_fd, "readable", O_RDONLY));
     }},
    {"map a file through an inherited descriptor, shared",
     [](const scene &s) {
       return map_error(mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED,
                             s.writable_fd, 0));
     }},
    {"map a file through an inherited descriptor, private",
     [](const scene &s) {
       return map_error(mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE,
                             s.readable_fd, 0));
     }},
#ifdef __linux__
    // Capsicum leaves memory alone: code could be mapped there.
    {"map executable memory",
     [](const scene &) {
       return map_error(mmap(nullptr, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
     }},
    {"make a heap page executable",
     [](const scene &) {
       const uintptr_t page = (uintptr_t)sysconf(_SC_PAGESIZE);
       char *block = (char *)malloc(3 * page);
       if (block == nullptr) return ENOMEM;
       char *inside = (char *)(((uintptr_t)block + page - 1) & ~(page - 1));
       return error_of(
           mprotect(inside, page, PROT_READ | PROT_WRITE | PROT_EXEC));
     }},
#endif
#ifdef __linux__
    // Capsicum lets a process make a socket it can never connect.
    {"make a socket",
     [](const scene &) { return error_of(socket(AF_INET, SOCK_STREAM, 0)); }},
    {"make a socket pair",
     [](const scene &) {
       int sv[2];
       return error_of(socketpair(AF_UNIX, SOCK_STREAM, 0, sv));
     }},
#endif
#ifdef __linux__
    // The process may send SIGABRT to itself alone (signal 0 asks only
    // whether the target is there).
    {"send SIGABRT to another process",
     [](const scene &s) {
       int e = error_of(syscall(SYS_tgkill, s.bystander, s.bystander, SIGABRT));
       if (!is_refusal(e)) return e;
       return error_of(syscall(SYS_tkill, s.bystander, SIGABRT));
     }},
    {"send SIGABRT to a thread of another process",
     [](const scene &s) {
       return error_of(syscall(SYS_tgkill, getpid(), s.bystander, SIGABRT));
     }},
    {"send SIGABRT to its own thread as another process's",
     [](const scene &s) {
       return error_of(syscall(SYS_tgkill, s.bystander, getpid(), SIGABRT));
     }},
    // Nor may any other way of sending a signal reach another process.
    {"kill another process",
     [](const scene &s) { return error_of(kill(s.bystander, SIGTERM)); }},
    {"queue a signal to another process",
     [](const scene &s) {
       siginfo_t info = {};
       info.si_signo = SIGTERM;
       info.si_code = SI_QUEUE;
       return error_of(
           syscall(SYS_rt_sigqueueinfo, s.bystander, SIGTERM, &info));
     }},
    {"queue a signal to a thread of another process",
     [](const scene &s) {
       siginfo_t info = {};
       info.si_signo = SIGTERM;
       info.si_code = SI_QUEUE;
       return error_of(syscall(SYS_rt_tgsigqueueinfo, s.bystander, s.bystander,
                               SIGTERM, &info));
     }},
    {"signal another process through its process descriptor",
     [](const scene &s) {
       return error_of(syscall(SYS_pidfd_send_signal, s.bystander_pidfd,
                               SIGTERM, nullptr, 0));
     }},
    // What abort() may do to its own signals is held to SIGABRT.
    {"set the action of another signal than SIGABRT",
     [](const scene &) {
       struct sigaction ign = {};
       ign.sa_handler = SIG_IGN;
       return error_of(sigaction(SIGTERM, &ign, nullptr));
     }},
    {"block signals",
     [](const scene &) {
       sigset_t all;
       sigfillset(&all);
       return error_of(
           syscall(SYS_rt_sigprocmask, SIG_BLOCK, &all, nullptr, sizeof(long)));
     }},
    {"send itself another signal than SIGABRT",
     [](const scene &) {
       int e = error_of(syscall(SYS_tgkill, getpid(), getpid(), 0));
       return is_refusal(e) ? error_of(syscall(SYS_tkill, getpid(), 0)) : e;
     }},
#endif
#if defined(__linux__) && defined(__x86_64__)
    // Another system call ABI must not go around the filter.
    {"open through the x32 calls",
     [](const scene &) {
       return error_of(syscall(0x40000000 | SYS_openat, AT_FDCWD, "/", 0));
     }},
#endif
  };
#if defined(__linux__) && defined(__x86_64__)
  if (i386_calls_run())
    checks.push_back({"open through the i386 calls", [](const scene &) {
                        long rc = i386_open();
                        return rc < 0 ? (int)-rc : 0;
                      }});
#endif
  for (const check &c : checks) {
    sandboxed_run r = run_sandboxed(c.fn);
    EXPECT_TRUE(r.reported && r.entered && is_refusal(r.result))
        << c.name << ": " << describe(r);
    EXPECT_FALSE(r.created) << c.name;
    EXPECT_TRUE(r.writable_kept) << c.name;
    EXPECT_FALSE(r.other_heard) << c.name;
    EXPECT_FALSE(r.bystander_hit) << c.name;
    EXPECT_EQ(r.status, 0) << c.name << ": " << describe(r);
  }
}

TEST(Sandbox, LeavesWhatARunNeeds) {
  if (!kSandboxBuilt) GTEST_SKIP() << "this build has no sandbox";
  const struct {
    check c;
    const char *out, *err;  // what stdout and stderr must show
  } checks[] = {
      {{"wait on the socket with select",
        [](const scene &s) {
          fd_set r;
          FD_ZERO(&r);
          FD_SET(s.sock, &r);
          timeval tv = {2, 0};
          return expect(select(s.sock + 1, &r, nullptr, nullptr, &tv), 1);
        }},
       "",
       ""},
      {{"wait on the socket with poll",
        [](const scene &s) {
          pollfd p = {s.sock, POLLIN, 0};
          return expect(poll(&p, 1, 2000), 1);
        }},
       "",
       ""},
      {{"receive from the socket",
        [](const scene &s) {
          char buf[8];
          long n = recv(s.sock, buf, sizeof buf, 0);
          return n == 4 && memcmp(buf, "ping", 4) == 0 ? 0 : expect(n, 4);
        }},
       "",
       ""},
      {{"send on the socket",
        [](const scene &s) {
          return expect(send(s.sock, "pong", 4, MSG_NOSIGNAL), 4);
        }},
       "",
       ""},
      {{"close the socket",
        [](const scene &s) { return expect(close(s.sock), 0); }},
       "",
       ""},
      {{"write to stdout and stderr through stdio",
        [](const scene &) {
          if (fputs("report\n", stdout) < 0 || fflush(stdout) != 0)
            return errno;
          fprintf(stderr, "%s\n", "diagnostic");
          return ferror(stderr) ? errno : 0;
        }},
       "report\n",
       "diagnostic\n"},
      {{"write the report at exit",
        [](const scene &) { return fputs("at exit\n", stdout) < 0 ? -1 : 0; }},
       "at exit\n",
       ""},
      {{"allocate many small blocks and a few large ones",
        [](const scene &) {
          std::vector<void *> blocks;
          for (int i = 0; i < 20000; i++) blocks.push_back(malloc(1000));
          for (size_t size = 1 << 20; size <= 64 << 20; size *= 4)
            blocks.push_back(calloc(1, size));
          int e = 0;
          for (void *b : blocks) {
            if (b == nullptr) e = ENOMEM;
            free(b);
          }
          return e;
        }},
       "",
       ""},
      {{"grow a block past a large size",
        [](const scene &) {
          char *p = (char *)malloc(1024);
          if (p == nullptr) return ENOMEM;
          memcpy(p, "kept", 4);
          for (size_t size = 2048; size <= 32 << 20; size *= 2) {
            char *q = (char *)realloc(p, size);
            if (q == nullptr) break;
            p = q;
            p[size - 1] = 'x';
          }
          int e = memcmp(p, "kept", 4) == 0 ? 0 : -1;
          free(p);
          return e;
        }},
       "",
       ""},
      {{"parse a document with expat",
        [](const scene &) {
          static const char doc[] = "<current><city name=\"A\"/></current>";
          XML_Parser p = XML_ParserCreate(nullptr);
          if (p == nullptr) return ENOMEM;
          int e =
              XML_Parse(p, doc, sizeof doc - 1, 1) == XML_STATUS_OK ? 0 : -1;
          XML_ParserFree(p);
          return e;
        }},
       "",
       ""},
  };
  for (const auto &c : checks) {
    sandboxed_run r = run_sandboxed(c.c.fn);
    EXPECT_TRUE(r.reported && r.entered && r.result == 0)
        << c.c.name << ": " << describe(r);
    EXPECT_EQ(r.out, c.out) << c.c.name;
    EXPECT_EQ(r.err, c.err) << c.c.name;
    EXPECT_EQ(r.status, 0) << c.c.name << ": " << describe(r);
  }
}

// A fatal error that the C library finds inside the sandbox still reaches
// stderr (its message is written with writev), and abort() still ends the
// process with SIGABRT, which it sends to itself.
TEST(Sandbox, FatalErrorsOfTheCLibraryReachStderrAndAbort) {
  if (!kSandboxBuilt) GTEST_SKIP() << "this build has no sandbox";
  const struct {
    check c;
    const char *err;  // what stderr must hold
  } checks[] = {
      {{"free a block twice",
        [](const scene &) {
          char *volatile block = (char *)malloc(64);
          free(block);
          free(block);
          return -1;
        }},
       "double free"},
      {{"abort", [](const scene &) -> int { abort(); }}, ""},
  };
  for (const auto &c : checks) {
    sandboxed_run r = run_sandboxed(c.c.fn);
    EXPECT_FALSE(r.reported) << c.c.name << ": " << describe(r);
    EXPECT_NE(r.err.find(c.err), std::string::npos)
        << c.c.name << ": " << describe(r);
    EXPECT_EQ(r.status, 128 + SIGABRT) << c.c.name << ": " << describe(r);
  }
}

#ifdef __linux__
// abort() unblocks SIGABRT and, when raising it did not end the process,
// sets it back to its default action: a run started with SIGABRT blocked
// or ignored still ends with SIGABRT, not with the crash that follows a
// refused call.
TEST(Sandbox, AbortEndsWithSIGABRTWhenTheParentBlockedOrIgnoredIt) {
  if (!kSandboxBuilt) GTEST_SKIP() << "this build has no sandbox";
  const struct {
    const char *name;
    bool block, ignore;
  } cases[] = {{"blocked", true, false},
               {"ignored", false, true},
               {"blocked and ignored", true, true}};
  for (const auto &c : cases) {
    // The children inherit this process's mask and actions.
    sigset_t abrt, old_mask;
    sigemptyset(&abrt);
    sigaddset(&abrt, SIGABRT);
    sigprocmask(c.block ? SIG_BLOCK : SIG_UNBLOCK, &abrt, &old_mask);
    struct sigaction ign = {}, old_action;
    ign.sa_handler = c.ignore ? SIG_IGN : SIG_DFL;
    sigaction(SIGABRT, &ign, &old_action);
    sandboxed_run r = run_sandboxed([](const scene &) -> int { abort(); });
    sigaction(SIGABRT, &old_action, nullptr);
    sigprocmask(SIG_SETMASK, &old_mask, nullptr);
    EXPECT_FALSE(r.reported) << c.name << ": " << describe(r);
    EXPECT_EQ(r.status, 128 + SIGABRT) << c.name << ": " << describe(r);
  }
}
#endif

// stdio would line-buffer a terminal after asking it at the first write;
// inside the sandbox it must still do so, or the report and the -D trace
// would come out of order. The child's stdout and stderr are one terminal:
// the line written to stdout comes before the result line on stderr.
TEST(Sandbox, StdoutOnATerminalStaysLineBuffered) {
  if (!kSandboxBuilt) GTEST_SKIP() << "this build has no sandbox";
  if (!pseudo_terminals_work())
    GTEST_SKIP() << "no pseudo-terminal can be opened here (no /dev/pts?)";
  sandboxed_run r = run_sandboxed(
      [](const scene &) { return fputs("line\n", stdout) < 0 ? -1 : 0; }, true);
  EXPECT_TRUE(r.reported && r.entered && r.result == 0) << describe(r);
  EXPECT_EQ(r.terminal, "line\r\n= 0 1\r\n");
}

// A build configured without the sandbox (-DTAVIK_SANDBOX=OFF, or a system
// that has none) enters nothing, says nothing and refuses nothing.
TEST(Sandbox, BuildWithoutItConfinesNothing) {
  if (kSandboxBuilt) GTEST_SKIP() << "this build has the sandbox";
  sandboxed_run r = run_sandboxed(
      [](const scene &s) { return error_of(open(s.readable.c_str(), 0)); });
  EXPECT_TRUE(r.reported && !r.entered && r.result == 0) << describe(r);
  EXPECT_EQ(r.err, "");
}

#ifdef __linux__
// The process ID of this process's child named name, or -1.
pid_t child_named(const std::string &name) {
  pid_t found = -1;
  DIR *d = opendir("/proc");
  if (d == nullptr) return -1;
  while (dirent *e = readdir(d)) {
    if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
    std::ifstream f(std::string("/proc/") + e->d_name + "/stat");
    std::string stat((std::istreambuf_iterator<char>(f)),
                     std::istreambuf_iterator<char>());
    size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    char state;
    int ppid;
    if (stat.substr(open + 1, close - open - 1) == name &&
        sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 &&
        ppid == getpid())
      found = atoi(e->d_name);
  }
  closedir(d);
  return found;
}

// The value of one line of /proc/PID/status, such as "Seccomp", or "".
std::string status_field(pid_t pid, const std::string &field) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(f, line))
    if (line.compare(0, field.size() + 1, field + ":") == 0)
      return line.substr(line.find_first_not_of(" \t", field.size() + 1));
  return "";
}
#endif

std::string sample_3003() {
  std::string doc;
  EXPECT_TRUE(sample_document(3003, "metric", &doc));
  return doc;
}

// While tavik waits for a server that has sent a status line and fallen
// silent, the kernel shows it under a seccomp filter, unable to gain
// privileges: what anyone can check from outside.
TEST(SandboxE2E, RunIsConfinedWhileItWaits) {
#ifndef __linux__
  GTEST_SKIP() << "/proc/PID/status shows seccomp on Linux";
#else
  if (!kSandboxBuilt) GTEST_SKIP() << "this build has no sandbox";
  server_script script;
  script.segments.push_back({"HTTP/1.1 200 OK\r\n", 0});
  script.silent_ms = 2000;
  script_server server(script);
  temp_file conf(config_for_port(server.port()));
  run_result r;
  std::thread run([&] { r = run_tavik({"-c", conf.path()}); });
  std::string seccomp, no_new_privs;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
  while (seccomp != "2" && std::chrono::steady_clock::now() < deadline) {
    pid_t pid = child_named("tavik");
    if (pid > 0) {
      no_new_privs = status_field(pid, "NoNewPrivs");
      seccomp = status_field(pid, "Seccomp");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  run.join();
  EXPECT_EQ(seccomp, "2");
  EXPECT_EQ(no_new_privs, "1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tavik: network read error\ntavik: failed to get weather\n");
#endif
}

#ifdef __linux__
// The state letter of /proc/PID/stat (S sleeping, T stopped, ...), or '?'.
char process_state(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(f)),
                   std::istreambuf_iterator<char>());
  size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() ? stat[close + 2]
                                                               : '?';
}

// Waits up to seconds for pid's state to satisfy ok. Returns whether it did.
template <typename F>
bool wait_for_state(pid_t pid, F ok, int seconds = 5) {
  auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!ok(process_state(pid))) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// The highest descriptor of pid that is a socket, or -1.
int highest_socket(pid_t pid) {
  int found = -1;
  std::string dir = "/proc/" + std::to_string(pid) + "/fd";
  DIR *d = opendir(dir.c_str());
  if (d == nullptr) return -1;
  while (dirent *e = readdir(d)) {
    char target[64];
    ssize_t n =
        readlink((dir + "/" + e->d_name).c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, (size_t)n).compare(0, 7, "socket:") == 0 &&
        atoi(e->d_name) > found)
      found = atoi(e->d_name);
  }
  closedir(d);
  return found;
}
#endif

// A socket numbered past FD_SETSIZE is waited on with poll. Stopped and
// continued in that wait, the kernel resumes it through restart_syscall,
// which the sandbox lets through: the run goes on and prints its report.
TEST(SandboxE2E, RunStoppedAndContinuedInItsWaitGoesOn) {
#ifndef __linux__
  GTEST_SKIP() << "/proc shows a process's state and descriptors on Linux";
#else
  if (!kSandboxBuilt) GTEST_SKIP() << "this build has no sandbox";
  const int open_through = FD_SETSIZE;
  const std::string why = allow_descriptors_through(open_through);
  if (!why.empty()) GTEST_SKIP() << why;
  sockaddr_in addr;
  int listener = loopback_listener(&addr);
  temp_file conf(config_for_port(ntohs(addr.sin_port)));
  run_options options;
  options.open_through = open_through;
  run_result r;
  std::thread run([&] {
    r = run_tavik_argv({"tavik", "-c", conf.path()}, options);
  });

  // The request, whole: after it tavik only waits for the answer.
  pollfd p = {listener, POLLIN, 0};
  int conn = poll(&p, 1, 5000) == 1 ? accept(listener, nullptr, nullptr) : -1;
  std::string request;
  char buf[4096];
  ssize_t n;
  while (conn >= 0 && request.find("\r\n\r\n") == std::string::npos &&
         (n = recv(conn, buf, sizeof buf, 0)) > 0)
    request.append(buf, (size_t)n);
  pid_t pid = child_named("tavik");
  int sock = pid > 0 ? highest_socket(pid) : -1;
  bool waited = pid > 0 && wait_for_state(pid, [](char c) { return c == 'S'; });
  bool stopped = waited && kill(pid, SIGSTOP) == 0 &&
                 wait_for_state(pid, [](char c) { return c == 'T'; });
  bool continued = stopped && kill(pid, SIGCONT) == 0 &&
                   wait_for_state(pid, [](char c) { return c != 'T'; });
  const std::string response = content_length_response(sample_3003());
  if (conn >= 0) {
    send(conn, response.data(), response.size(), MSG_NOSIGNAL);
    close(conn);
  }
  run.join();
  close(listener);
  EXPECT_GE(sock, FD_SETSIZE);
  EXPECT_TRUE(waited && stopped && continued) << waited << stopped << continued;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, kMillbrookReport);
  EXPECT_EQ(r.status, 0);
#endif
}

// A library preloaded into tavik tries, when the XML parser is created,
// what a flaw in the parser could: each call is refused, and the run still
// ends with its report.
TEST(SandboxE2E, CallsFromInsideTheParserAreRefused) {
  if (*kParserSpy == '\0') GTEST_SKIP() << "this build has no seccomp sandbox";
  script_server server(reply(content_length_response(sample_3003())));
  temp_file conf(config_for_port(server.port()));
  temp_file readable("secret\n", "readable");
  sockaddr_in addr;
  int listener = loopback_listener(&addr);
  run_result r = run_tavik_launched(
      {"/usr/bin/env", std::string("LD_PRELOAD=") + kParserSpy,
       "PARSER_SPY_DIR=" + readable.dir(),
       "PARSER_SPY_PORT=" + std::to_string(ntohs(addr.sin_port))},
      {"-c", conf.path()});
  close(listener);
  EXPECT_EQ(r.err,
            "parser-spy: open EPERM, create EPERM, socket EPERM, "
            "connect EPERM, exec EPERM\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kMillbrookReport);
  EXPECT_NE(unlink((readable.dir() + "/created").c_str()), 0);
}

// Where the system refuses the sandbox (an old kernel, a container that
// forbids it) the run goes on and prints the same; -D adds one line that
// says so, before its trace.
TEST(SandboxE2E, RunGoesOnWhereTheSystemRefusesIt) {
  if (*kRefuseSandbox == '\0')
    GTEST_SKIP() << "this build has no seccomp sandbox";
  const struct {
    const char *refusal;
    const char *why;
  } cases[] = {
      {"nnp", "prctl(PR_SET_NO_NEW_PRIVS): Invalid argument"},
      {"seccomp", "seccomp_load: Invalid argument"},
      {"forbid", "seccomp_load: Operation not permitted"},
  };
  const std::string response = content_length_response(sample_3003());
  for (const auto &c : cases) {
    for (std::vector<std::string> args :
         std::vector<std::vector<std::string> >{{}, {"-D"}, {"-D", "-z"}}) {
      script_server plain_server(reply(response));
      temp_file plain_conf(config_for_port(plain_server.port()));
      args.insert(args.begin(), {"-c", plain_conf.path()});
      run_result plain = run_tavik(args);

      script_server server(reply(response));
      temp_file conf(config_for_port(server.port()));
      args[1] = conf.path();
      run_result r = run_tavik_launched({kRefuseSandbox, c.refusal}, args);
      const bool debug = args.size() > 2;
      EXPECT_EQ(r.status, 0) << c.refusal;
      EXPECT_EQ(r.out, plain.out) << c.refusal;
      EXPECT_EQ(r.err, (debug ? "tavik: running without a sandbox (" +
                                    std::string(c.why) + ")\n"
                              : std::string()) +
                           plain.err)
          << c.refusal;
    }
  }
}

}  // namespace
