// Fuzzes the configuration reader with whole file contents.
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include "config/config.h"

static char path[] = "/tmp/tavik-config-fuzz-XXXXXX";
static int fd = -1;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (fd < 0) fd = mkstemp(path);
  if (fd < 0) abort();
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != (ssize_t)size)
    abort();
  run_settings s;
  read_config(path, &s);
  free(s.url);
  free(s.appid);
  return 0;
}
