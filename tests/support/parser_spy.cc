// Preloaded into tavik (LD_PRELOAD) by the sandbox tests. When the program
// creates its XML parser, which it does inside the sandbox, the spy tries
// what a flaw in the parser could try: open a file, create one, make a
// socket and connect it to a listener, run a program. It writes on stderr
// how each call ended, "parser-spy: open EPERM, create EPERM, ...", and
// then creates the parser. PARSER_SPY_DIR names a folder holding a file
// "readable" (the one to open; "created" is the one to create), and
// PARSER_SPY_PORT a loopback port that accepts connections.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <errno.h>
#include <expat.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

// "done" for a call that worked, else its errno's name when it is the
// sandbox's refusal, or the error's text.
static std::string outcome(long rc) {
  if (rc >= 0) return "done";
  if (errno == EPERM) return "EPERM";
  return strerror(errno);
}

extern "C" XML_Parser XML_ParserCreate(const XML_Char *encoding) {
  const char *dir = getenv("PARSER_SPY_DIR");
  const char *port = getenv("PARSER_SPY_PORT");
  std::string folder = dir != nullptr ? dir : ".";
  std::string report = "parser-spy: open ";
  report += outcome(open((folder + "/readable").c_str(), O_RDONLY));
  report += ", create ";
  report += outcome(
      open((folder + "/created").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600));
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  report += ", socket " + outcome(fd);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons((unsigned short)(port != nullptr ? atoi(port) : 0));
  report += ", connect " + outcome(connect(fd, (sockaddr *)&a, sizeof a));
  execl("/bin/sh", "sh", "-c", "exit 0", (char *)nullptr);
  report += ", exec " + outcome(-1) + "\n";
  if (write(STDERR_FILENO, report.data(), report.size()) < 0) return nullptr;

  typedef XML_Parser (*create_fn)(const XML_Char *);
  create_fn real = (create_fn)dlsym(RTLD_NEXT, "XML_ParserCreate");
  return real != nullptr ? real(encoding) : nullptr;
}
