// Fuzzes the HTTP exchange with a whole server response. The first byte
// chooses how the response is cut into receives, so that line ends and
// chunks fall across receive boundaries in every way.
#include <stdint.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include "http/exchange.h"

// Where the checksum of each document goes, so the reads are not elided.
volatile unsigned document_sum;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  size_t piece = 1 + (size_t)data[0] * 4;  // 1 to 1021 bytes a receive
  data++;
  size--;
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sv) != 0) abort();
  int big = 4 << 20;
  setsockopt(sv[1], SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
  for (size_t off = 0; off < size; off += piece) {
    size_t n = size - off < piece ? size - off : piece;
    // A response too long for the socket's buffer is cut where it filled.
    if (send(sv[1], data + off, n, MSG_DONTWAIT) != (ssize_t)n) break;
  }
  shutdown(sv[1], SHUT_WR);
  int length = 0;
  char *doc = http_exchange(sv[0], "fuzz.example", "/q", 1, &length);
  if (doc != nullptr) {
    // Touch every byte handed out: an unwritten one shows under MSan and
    // valgrind, an out-of-bounds one under ASan.
    unsigned sum = 0;
    for (int i = 0; i < length; i++) sum += (unsigned char)doc[i];
    document_sum = sum;
    free(doc);
  }
  close(sv[1]);
  return 0;
}
