// The cache directory, its records and its lock.
#include "status/cache.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <vector>

#include "base/text.h"

namespace {

const char kTempPrefix[] = ".tmp-";
const char kRecordHeader[] = "tavik-status cache 1";

// A complaint about the cache directory: fixed text but for the path, whose
// control characters are shown as "?".
void complain(const std::string &path, const char *problem) {
  std::string shown = path;
  make_printable(&shown[0]);
  fprintf(stderr, "tavik-status: cache directory %s %s; not using it\n",
          shown.c_str(), problem);
}

std::vector<std::string> components(const std::string &path) {
  std::vector<std::string> parts;
  std::istringstream in(path);
  std::string part;
  while (std::getline(in, part, '/'))
    if (!part.empty() && part != ".") parts.push_back(part);
  return parts;
}

// Whether a directory above the cache may be trusted: the user's or
// root's, and writable by no one else unless sticky.
bool trusted_above(const struct stat &st) {
  if (st.st_uid != getuid() && st.st_uid != 0) return false;
  return (st.st_mode & S_ISVTX) || !(st.st_mode & (S_IWGRP | S_IWOTH));
}

}  // namespace

std::string cache_dir_path(void) {
  const char *xdg = getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/tavik";
  const char *home = getenv("HOME");
  if (home == nullptr || home[0] != '/') {
    fprintf(stderr,
            "tavik-status: HOME is not an absolute path; no place for the "
            "cache\n");
    return "";
  }
  return std::string(home) + "/.cache/tavik";
}

int open_cache_dir(const std::string &path) {
  // The directories that are there are looked at where their links lead
  // (a home under a linked /home is fine); from there down, no link is
  // followed, and each directory is checked once it is open.
  std::vector<std::string> parts = components(path);
  std::string start = "/";
  size_t first = 0;
  // The cache directory itself is never looked up through a link.
  for (size_t n = parts.size() > 0 ? parts.size() - 1 : 0; n > 0; n--) {
    std::string prefix;
    for (size_t i = 0; i < n; i++) prefix += "/" + parts[i];
    char resolved[PATH_MAX];
    if (realpath(prefix.c_str(), resolved) != nullptr) {
      start = resolved;
      first = n;
      break;
    }
  }
  std::vector<std::string> walk = components(start);
  walk.insert(walk.end(), parts.begin() + (long)first, parts.end());
  int fd = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (size_t i = 0; fd >= 0 && i <= walk.size(); i++) {
    struct stat st;
    if (fstat(fd, &st) != 0) break;
    const bool last = i == walk.size();
    if (!last && !trusted_above(st)) {
      close(fd);
      complain(path, "lies in a directory that others can write to");
      return -1;
    }
    if (last) {
      if (st.st_uid != getuid()) {
        close(fd);
        complain(path,
                 ("belongs to user " + std::to_string(st.st_uid)).c_str());
        return -1;
      }
      if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        close(fd);
        complain(path, "can be written by group or others");
        return -1;
      }
      if (faccessat(fd, ".", W_OK, 0) != 0) {
        close(fd);
        complain(path, "cannot be written");
        return -1;
      }
      return fd;
    }
    const char *name = walk[i].c_str();
    if (mkdirat(fd, name, 0700) != 0 && errno != EEXIST) {
      close(fd);
      complain(path, "cannot be made");
      return -1;
    }
    int next =
        openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int error = errno;
    close(fd);
    if (next < 0) {
      complain(path, error == ELOOP || error == ENOTDIR
                         ? "is a symbolic link or not a directory"
                         : "cannot be opened");
      return -1;
    }
    fd = next;
  }
  if (fd >= 0) close(fd);
  complain(path, "cannot be opened");
  return -1;
}

bool replace_file(int dir, const char *name, const std::string &text) {
  char temp[64];
  int fd = -1;
  for (int tries = 0; fd < 0 && tries < 100; tries++) {
    snprintf(temp, sizeof temp, "%s%ld-%d-%d", kTempPrefix, (long)getpid(),
             tries, rand());
    fd = openat(dir, temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                0600);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == (ssize_t)text.size();
  ok = close(fd) == 0 && ok;
  if (ok) ok = renameat(dir, temp, dir, name) == 0;
  if (!ok) unlinkat(dir, temp, 0);
  return ok;
}

cache_record read_record(int dir, const std::string &key) {
  cache_record r;
  std::string name = "status-" + key;
  int fd = openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return r;
  std::string text;
  char buf[4096];
  ssize_t n;
  while (text.size() < 65536 && (n = read(fd, buf, sizeof buf)) > 0)
    text.append(buf, (size_t)n);
  close(fd);
  std::istringstream in(text);
  std::string header, rest;
  long long asked = -1, good = -1;
  int failed = -1;
  std::string line;
  if (!std::getline(in, header) || header != kRecordHeader) return r;
  for (int i = 0; i < 3 && std::getline(in, line); i++) {
    if (sscanf(line.c_str(), "asked %lld", &asked) == 1) continue;
    if (sscanf(line.c_str(), "failed %d", &failed) == 1) continue;
    if (sscanf(line.c_str(), "good %lld", &good) == 1) continue;
  }
  if (asked < 0 || good < 0 || (failed != 0 && failed != 1)) return r;
  std::getline(in, rest, '\0');
  cache_record got;
  got.asked = (time_t)asked;
  got.failed = failed == 1;
  got.good = (time_t)good;
  if (good != 0 && !parse_record(rest, &got.last)) return r;
  return got;
}

bool write_record(int dir, const std::string &key, const cache_record &r) {
  std::ostringstream o;
  o << kRecordHeader << "\nasked " << (long long)r.asked << "\nfailed "
    << (r.failed ? 1 : 0) << "\ngood " << (long long)r.good << "\n";
  if (r.good != 0) o << format_record(r.last);
  return replace_file(dir, ("status-" + key).c_str(), o.str());
}

void remove_leftovers(int dir) {
  int copy = dup(dir);
  DIR *d = copy >= 0 ? fdopendir(copy) : nullptr;
  if (d == nullptr) {
    if (copy >= 0) close(copy);
    return;
  }
  std::vector<std::string> names;
  while (dirent *e = readdir(d))
    if (strncmp(e->d_name, kTempPrefix, sizeof kTempPrefix - 1) == 0)
      names.push_back(e->d_name);
  closedir(d);
  for (const std::string &name : names) unlinkat(dir, name.c_str(), 0);
}

int take_lock(int dir) {
  int fd = openat(dir, "lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  int rc;
  do {
    rc = flock(fd, LOCK_EX);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    close(fd);
    return -1;
  }
  return fd;
}
