// URL template expansion, splitting and connecting.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <resolv.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "base/test_hooks.h"
#include "capture.h"
#include "http/connect.h"
#include "http/exchange.h"
#include "http/url.h"
#include "peer.h"
#include "run_tavik.h"
#include "script_server.h"

namespace {

std::string expand(const char *url, int units, int location,
                   const char *appid) {
  run_settings s{};
  s.url = const_cast<char *>(url);
  s.units = units;
  s.location = location;
  s.appid = const_cast<char *>(appid);
  char *expanded = expand_url_template(&s);
  std::string out = expanded;
  free(expanded);
  return out;
}

TEST(UrlTemplate, ReplacesPlaceholders) {
  const struct {
    const char *url;
    int units, location;
    const char *appid;
    const char *expanded;
  } cases[] = {
      {"http://h/?u=$u&l=$l&a=$a", UNITS_METRIC, 42, "K",
       "http://h/?u=metric&l=42&a=K"},
      {"http://h/$U$L$A", UNITS_IMPERIAL, 7, "k", "http://h/imperial7k"},
      {"http://h/$u", 0, 1, "", "http://h/metric"},
      {"http://h/$u", 3, 1, "", "http://h/metric"},
      {"http://h/$l", UNITS_METRIC, -12, "", "http://h/-12"},
      {"http://h/$$", UNITS_METRIC, 1, "", "http://h/$"},
      {"http://h/$$l", UNITS_METRIC, 1, "", "http://h/$l"},
      {"http://h/x$", UNITS_METRIC, 1, "", "http://h/x$"},
      {"http://h/$x$Q$/", UNITS_METRIC, 1, "", "http://h/xQ/"},
      {"http://h/$a", UNITS_METRIC, 1, "$l$$",
       "http://h/$l$$"},  // not rescanned
      {"http://h/$\xC3\xA9", UNITS_METRIC, 1, "", "http://h/\xC3\xA9"},
      {"http://h/$a", UNITS_METRIC, 1, "MiXeD", "http://h/MiXeD"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(expand(c.url, c.units, c.location, c.appid), c.expanded) << c.url;
}

TEST(UrlTemplate, LongTemplatesAreNotCut) {
  std::string appid(5000, 'a');
  std::string url = "http://h/" + std::string(3000, 'p') + "?k=$a";
  EXPECT_EQ(expand(url.c_str(), UNITS_METRIC, 1, appid.c_str()),
            "http://h/" + std::string(3000, 'p') + "?k=" + appid);
}

TEST(SplitUrl, CutsHostPortAndPath) {
  const struct {
    const char *url, *host, *port, *path;
  } cases[] = {
      {"http://wx/data?id=5", "wx", "", "/data?id=5"},
      {"http://wx:81/data?id=5", "wx", "81", "/data?id=5"},
      {"http://wx:/data", "wx", "", "/data"},
      {"http://wx:81", "wx", "81", ""},
      {"http://wx", "wx", "", ""},
      {"http:///data", "", "", "/data"},
      {"http://wx/a:b", "wx", "", "/a:b"},
      {"http://wx:8:1/x", "wx", "8:1", "/x"},
      {"http://", "", "", ""},
  };
  for (const auto &c : cases) {
    char *host, *port;
    const char *path = split_url(c.url, &host, &port);
    ASSERT_NE(path, nullptr) << c.url;
    EXPECT_STREQ(host, c.host) << c.url;
    EXPECT_STREQ(port, c.port) << c.url;
    EXPECT_STREQ(path, c.path) << c.url;
    EXPECT_EQ(path + strlen(path), c.url + strlen(c.url)) << c.url;  // inside
    free(host);
    free(port);
  }
}

TEST(SplitUrl, ControlBytesAreFound) {
  EXPECT_FALSE(has_control_byte("http://h/a b\xC3\xA9~"));
  for (const char *bad :
       {"http://h/\r", "http://h/\n", "a\x7f", "a\tb", "\x1f"})
    EXPECT_TRUE(has_control_byte(bad)) << bad;
  // Every byte a text can hold, at the end of a URL.
  for (int c = 1; c < 256; c++) {
    const char url[] = {'h', '/', (char)c, '\0'};
    EXPECT_EQ(has_control_byte(url), c < 0x20 || c == 0x7f) << c;
  }
}

// The default domain is read from the resolver's state as it stands; the
// test writes it there, as res_init would from a "domain" line.
class QualifyHost : public testing::Test {
 protected:
  void SetUp() override { memcpy(saved_, _res.defdname, sizeof saved_); }
  void TearDown() override {
    memcpy(_res.defdname, saved_, sizeof saved_);
    tavik_malloc = malloc;
  }
  void set_domain(const char *domain) {
    snprintf(_res.defdname, sizeof _res.defdname, "%s", domain);
  }
  char saved_[sizeof _res.defdname];
};

TEST_F(QualifyHost, AddsTheDefaultDomainToNamesWithoutADot) {
  const struct {
    const char *domain, *host, *qualified;
  } cases[] = {
      {"example.net", "wx", "wx.example.net"},
      {"example.net", "wx.other", "wx.other"},
      {"example.net", "127.0.0.1", "127.0.0.1"},
      {"example.net", "", ".example.net"},
      {"", "wx", "wx"},
  };
  for (const auto &c : cases) {
    set_domain(c.domain);
    char *host = strdup(c.host);
    ASSERT_TRUE(qualify_host(&host)) << c.host;
    EXPECT_STREQ(host, c.qualified) << c.host;
    free(host);
  }
}

TEST_F(QualifyHost, ExhaustedHeapLeavesTheNameAsItWas) {
  set_domain("example.net");
  char *host = strdup("wx");
  tavik_malloc = [](size_t) -> void * { return nullptr; };
  std::string err = capture_stderr([&] { EXPECT_FALSE(qualify_host(&host)); });
  tavik_malloc = malloc;
  EXPECT_EQ(err, "tavik: cannot allocate memory\n");
  EXPECT_STREQ(host, "wx");
  free(host);
}

struct connect_case {
  std::string url;
  std::string err;
};

// Each connection failure: its message, then the driver's, status 1 and
// nothing on stdout. The host names used fail without asking any DNS.
TEST(ConnectionE2E, FailuresAreReportedThenRetrievalFails) {
  int port = free_port();
  std::vector<connect_case> cases = {
      {"http://127.0.0.1:" + std::to_string(port) + "/x",
       "tavik: cannot connect to server '127.0.0.1'\n"},
      {"http://127.0.0.1:0/x", "tavik: cannot connect to server '127.0.0.1'\n"},
      {"http://127.0.0.1:abc/x",
       "tavik: cannot connect to server '127.0.0.1'\n"},
      {"http://-x:80/", "tavik: cannot get address for lookup host '-x'\n"},
      {"http:///data", "tavik: cannot get address for lookup host ''\n"},
      {"http://h/?$a", "tavik: URL contains a control character\n"},
  };
  if (!port_accepts(80))
    cases.push_back({"http://127.0.0.1/x",
                     "tavik: cannot connect to server '127.0.0.1'\n"});
  for (const connect_case &c : cases) {
    temp_file conf("URL " + c.url + "\nAPPID k\r\nLOCATION 1\n");
    run_result r = run_tavik({"-c", conf.path()});
    EXPECT_EQ(r.status, 1) << c.url;
    EXPECT_EQ(r.out, "") << c.url;
    EXPECT_EQ(r.err, c.err + "tavik: failed to get weather\n") << c.url;
  }
}

TEST(ConnectionE2E, PortTakesLowSixteenBits) {
  script_server server(reply("HTTP/1.1 404 Gone\r\n\r\n"));
  std::string port = std::to_string(server.port() + 65536);
  temp_file conf("URL http://127.0.0.1:" + port + "/x\nAPPID k\nLOCATION 1\n");
  run_result r = run_tavik({"-c", conf.path()});
  EXPECT_EQ(r.err,
            "tavik: server response was 404 (Gone)\n"
            "tavik: failed to get weather\n");
  EXPECT_TRUE(server.connected());
}

TEST(ConnectionE2E, NumericHostAndLocalhostConnect) {
  for (const char *host : {"127.0.0.1", "localhost", "127.1"}) {
    script_server server(reply("HTTP/1.1 503 Busy\r\n\r\n"));
    temp_file conf("URL http://" + std::string(host) + ":" +
                   std::to_string(server.port()) + "\nAPPID k\nLOCATION 1\n");
    run_result r = run_tavik({"-c", conf.path()});
    EXPECT_EQ(r.err,
              "tavik: server response was 503 (Busy)\n"
              "tavik: failed to get weather\n")
        << host;
    // The Host line names the host without the port; no path sends "/".
    EXPECT_EQ(server.request().substr(0, 24 + strlen(host)),
              "GET / HTTP/1.1\r\nHost: " + std::string(host) + "\r\n");
  }
}

}  // namespace
