// Micro-benchmarks of what a run does: the socket reader's lines, the whole
// exchange over a socket pair, the document parse, and the report.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "framing.h"
#include "http/exchange.h"
#include "http/sock.h"
#include "parse/extract.h"
#include "report/report.h"
#include "sample_docs.h"

namespace {

std::string lines_of(size_t total, size_t line) {
  std::string s;
  while (s.size() < total) s += std::string(line - 2, 'x') + "\r\n";
  return s;
}

// Feeds bytes into one end of a stream pair from a thread while the
// benchmark reads the other.
struct feeder {
  int fds[2];
  std::thread t;
  explicit feeder(const std::string &bytes) {
    socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
    t = std::thread([this, &bytes] {
      size_t off = 0;
      while (off < bytes.size()) {
        ssize_t n = write(fds[1], bytes.data() + off, bytes.size() - off);
        if (n <= 0) break;
        off += (size_t)n;
      }
      shutdown(fds[1], SHUT_WR);
    });
  }
  ~feeder() {
    t.join();
    close(fds[0]);
    close(fds[1]);
  }
};

void BM_ReadLines(benchmark::State &state) {
  const std::string bytes = lines_of(1 << 20, (size_t)state.range(0));
  char buf[2000];
  for (auto _ : state) {
    feeder f(bytes);
    sock_reset();
    while (sock_read_line(buf, sizeof buf, f.fds[0], 30) > 0) {
    }
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)bytes.size());
}
BENCHMARK(BM_ReadLines)->Arg(40)->Arg(400);

std::string document(size_t size) {
  std::string doc = "<current><city name=\"x\"><country>NZ</country></city>";
  while (doc.size() < size)
    doc +=
        "<station id=\"1\"><note>Light rain easing through the "
        "afternoon.</note></station>\n";
  return doc + "</current>";
}

// The exchange as get_weather runs it, over a stream pair: a 1 MiB body
// with Content-Length (argument 0) or in chunks of that many bytes.
void BM_Exchange(benchmark::State &state) {
  const std::string doc = document(1 << 20);
  const std::string response =
      state.range(0) == 0 ? content_length_response(doc)
                          : chunked_response(doc, (size_t)state.range(0));
  for (auto _ : state) {
    feeder f(response);
    int length;
    char *body = http_exchange(dup(f.fds[0]), "h", "/", 30, &length);
    benchmark::DoNotOptimize(body);
    free(body);
  }
  state.SetBytesProcessed((int64_t)state.iterations() *
                          (int64_t)response.size());
}
BENCHMARK(BM_Exchange)->Arg(0)->Arg(1024);

void BM_ExtractData(benchmark::State &state) {
  const std::string doc = document((size_t)state.range(0));
  run_settings s{};
  weather w;
  for (auto _ : state) {
    extract_data(doc.data(), (int)doc.size(), s.debug, &w);
    benchmark::DoNotOptimize(w.ok);
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)doc.size());
}
BENCHMARK(BM_ExtractData)->Arg(1500)->Arg(1 << 20);

// Normalisation and output of a sample record: the text report (argument
// 0) or the delimited line (1), written to /dev/null.
void BM_Report(benchmark::State &state) {
  std::string doc;
  sample_document(3003, "metric", &doc);
  run_settings s{};
  s.units = UNITS_METRIC;
  s.compressed = (int)state.range(0);
  s.delimiter = '@';
  weather parsed;
  extract_data(doc.data(), (int)doc.size(), s.debug, &parsed);
  fflush(stdout);
  int saved = dup(1);
  int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  for (auto _ : state) {
    weather w = parsed;
    massage_weather(&s, &w);
    print_weather(&s, &w);
  }
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  close(null);
}
BENCHMARK(BM_Report)->Arg(0)->Arg(1);

}  // namespace
