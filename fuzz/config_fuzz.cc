// Fuzzes the configuration reader with whole file contents.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "config/config.h"

// Each input is written to one scratch file under TMPDIR, removed at exit.
static char path[4096];
static int fd = -1;

// Removes the scratch file when the fuzzer ends.
static void remove_scratch() { unlink(path); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (fd < 0) {
    const char *tmp = getenv("TMPDIR");
    if (tmp == nullptr || *tmp == '\0') tmp = "/tmp";
    if (snprintf(path, sizeof path, "%s/tavik-config-fuzz-XXXXXX", tmp) >=
        (int)sizeof path)
      abort();
    fd = mkstemp(path);
    if (fd < 0) abort();
    atexit(remove_scratch);
  }
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != (ssize_t)size)
    abort();
  run_settings s;
  read_config(path, &s);
  free(s.url);
  free(s.appid);
  return 0;
}
