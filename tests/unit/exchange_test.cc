// The HTTP exchange over a socket pair whose receive boundaries are exact.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "http/exchange.h"
#include "peer.h"
#include "script_server.h"

namespace {

// The exchange against segments, each one receive.
fetch_outcome fetch(const std::vector<std::string> &segments,
                    bool keep_open = false, const char *path = "/q?id=1") {
  return fetch_from_segments(segments, keep_open, path);
}

const char kHead[] = "HTTP/1.1 200 OK\r\n";
const std::string kChunkedHead =
    std::string(kHead) + "Transfer-Encoding: chunked\r\n\r\n";

// What follows the request target: the rest of the seven lines, as
// fetch's settings make them.
const char kRequestAfterTarget[] =
    " HTTP/1.1\r\n"
    "Host: wx.example\r\n"
    "User-Agent: weather/1.2\r\n"
    "Accept: text/xml,application/xml,application/xhtml+xml,text/html,"
    "text/plain\r\n"
    "Accept-Encoding:\r\n"
    "Connection: close\r\n"
    "\r\n";

// The request leaves in one send (each send is one record on the peer's
// socket), so that no part of it waits for the acknowledgement of another.
TEST(Exchange, SendsExactlySevenLinesInOneSend) {
  fetch_outcome o = fetch({"HTTP/1.1 204 None\r\n\r\n"});
  EXPECT_EQ(o.request_sends, 1);
  EXPECT_EQ(o.request, std::string("GET /q?id=1") + kRequestAfterTarget);
  EXPECT_TRUE(o.fd_closed);
}

TEST(Exchange, EmptyPathAsksForTheRoot) {
  EXPECT_EQ(fetch({"x\n"}, false, "").request.substr(0, 16),
            "GET / HTTP/1.1\r\n");
}

TEST(Exchange, LongPathGoesOutWhole) {
  std::string path = "/" + std::string(5000, 'p');
  fetch_outcome o = fetch({"x\n"}, false, path.c_str());
  EXPECT_EQ(o.request.substr(0, path.size() + 15),
            "GET " + path + " HTTP/1.1\r\n");
  EXPECT_EQ(o.request.substr(o.request.size() - 21),
            "Connection: close\r\n\r\n");
  EXPECT_EQ(o.request_sends, 1);
}

// Requests that just fit the 2000-byte line buffer with its terminator,
// fill it exactly, and overrun it by one: each leaves whole, in one send.
TEST(Exchange, RequestAtTheLineBufferSizeGoesOutWhole) {
  const std::string rest = kRequestAfterTarget;
  for (size_t size : {1999, 2000, 2001}) {
    std::string path = "/" + std::string(size - 5 - rest.size(), 'p');
    fetch_outcome o = fetch({"x\n"}, false, path.c_str());
    EXPECT_EQ(o.request.size(), size);
    EXPECT_EQ(o.request, "GET " + path + rest) << size;
    EXPECT_EQ(o.request_sends, 1) << size;
  }
}

struct framing_case {
  const char *name;
  std::vector<std::string> segments;
  const char *doc;
};

TEST(Exchange, ReadsEachFraming) {
  const framing_case cases[] = {
      {"content length",
       {std::string(kHead) + "Content-Length: 5\r\n\r\nhello"},
       "hello"},
      {"content length, extra bytes dropped",
       {std::string(kHead) + "Content-Length: 3\r\n\r\nhello"},
       "hel"},
      {"content length across receives",
       {std::string(kHead) + "Content-Length: 11\r\n\r\nhel", "lo\nwo", "rld"},
       "hello\nworld"},
      {"last content length counts",
       {std::string(kHead) +
        "Content-Length: 9\r\ncontent-length: 2\r\n\r\nabc"},
       "ab"},
      {"headers in any case, HTTP/1.0",
       {"HTTP/1.0 200 OK\r\nCONTENT-LENGTH: 2\r\n\r\nok"},
       "ok"},
      {"chunked",
       {kChunkedHead + "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n"},
       "hello world"},
      {"chunked in any case",
       {std::string(kHead) +
        "TRANSFER-ENCODING: Chunked\r\n\r\n2\r\nhi\r\n0\r\n"},
       "hi"},
      {"chunk extension",
       {kChunkedHead +
        "1a;name=value\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n"},
       "abcdefghijklmnopqrstuvwxyz"},
      {"chunk data ending in LF",
       {kChunkedHead + "4\r\nab\r\n\r\n2\r\ncd\r\n0\r\n\r\n"},
       "ab\r\ncd"},
      {"chunk CR LF in a later receive",
       {kChunkedHead + "3\r\nabc", "\r\n3\r\ndef", "\r", "\n0\r\n\r\n"},
       "abcdef"},
      {"chunk-size line without digits ends the body",
       {kChunkedHead + "5\r\nhello\r\nzz\r\n6\r\n world\r\n0\r\n\r\n"},
       "hello"},
      {"bare LF chunk lines",
       {std::string(kHead) +
        "Transfer-Encoding: chunked\n\n3\nabc\n2\nde\n0\n"},
       "abcde"},
      {"chunked wins over content length",
       {std::string(kHead) + "Content-Length: 100\r\nTransfer-Encoding: "
                             "chunked\r\n\r\n2\r\nab\r\n2\r\ncd\r\n0\r\n\r\n"},
       "abcd"},
      {"no framing: read to close",
       {std::string(kHead) + "\r\nuntil the end\nof it"},
       "until the end\nof it"},
      {"content length 0: read to close",
       {std::string(kHead) + "Content-Length: 0\r\n\r\nrest"},
       "rest"},
      {"no framing, empty body", {std::string(kHead) + "\r\n"}, ""},
      {"gzip, chunked is not chunked",
       {std::string(kHead) + "Transfer-Encoding: gzip, chunked\r\n\r\n2\r\nab"},
       "2\r\nab"},
      {"blank before colon is another header",
       {std::string(kHead) + "Content-Length : 1\r\n\r\nabc"},
       "abc"},
      {"any 2xx", {"HTTP/1.1 299 Odd\r\nContent-Length: 1\r\n\r\nx"}, "x"},
      {"chunky is not chunked",
       {std::string(kHead) + "Transfer-Encoding: chunky\r\n\r\n2\r\nab"},
       "2\r\nab"},
  };
  for (const framing_case &c : cases) {
    fetch_outcome o = fetch(c.segments);
    EXPECT_EQ(o.err, "") << c.name;
    ASSERT_TRUE(o.doc.has_value()) << c.name;
    EXPECT_EQ(*o.doc, c.doc) << c.name;
    EXPECT_TRUE(o.fd_closed) << c.name;
  }
}

struct failure_case {
  const char *name;
  std::vector<std::string> segments;
  const char *err;
};

TEST(Exchange, FailuresGiveNoDocument) {
  const failure_case cases[] = {
      {"nothing at all", {}, "tavik: network read error\n"},
      {"status line cut", {"HTTP/1.1 200 OK"}, "tavik: network read error\n"},
      {"status line too long",
       {std::string(1024, 'H'), std::string(1024, 'H'), "\n"},
       "tavik: network read error\n"},
      {"404",
       {"HTTP/1.1 404 Not Found\r\n\r\n"},
       "tavik: server response was 404 (Not Found)\n"},
      {"301",
       {"HTTP/1.1 301 Moved Permanently\r\nLocation: x\r\n\r\n"},
       "tavik: server response was 301 (Moved Permanently)\n"},
      {"no reason",
       {"HTTP/1.1 500\r\n\r\n"},
       "tavik: server response was 500 ()\n"},
      {"reason keeps extra blanks",
       {"HTTP/1.1 500  two  blanks\r\n"},
       "tavik: server response was 500 ( two  blanks)\n"},
      {"version alone",
       {"HTTP/1.1\r\n"},
       "tavik: malformed status line from server\n"},
      {"empty status line",
       {"\r\n"},
       "tavik: malformed status line from server\n"},
      {"closed in the headers",
       {std::string(kHead) + "Content-Length: 5\r\n"},
       "tavik: network read error\n"},
      {"content length short",
       {std::string(kHead) + "Content-Length: 10\r\n\r\nabc"},
       "tavik: connection closed after 3 of 10 body bytes\n"},
      {"content length at the 32-bit limit, short",
       {std::string(kHead) + "Content-Length: 2147483647\r\n\r\nabc"},
       "tavik: connection closed after 3 of 2147483647 body bytes\n"},
      {"negative content length",
       {std::string(kHead) + "Content-Length: -5\r\n\r\nabc"},
       ""},
      {"huge content length",
       {std::string(kHead) + "Content-Length: 99999999999\r\n\r\nabc"},
       "tavik: response body too large\n"},
      {"first chunk empty", {kChunkedHead + "0\r\n\r\n"}, ""},
      {"chunk cut short", {kChunkedHead + "9\r\nabc"}, ""},
      {"chunk line end missing", {kChunkedHead + "3\r\nabc"}, ""},
      {"no last chunk", {kChunkedHead + "3\r\nabc\r\n"}, ""},
      {"negative chunk",
       {kChunkedHead + "-1\r\nabc\r\n"},
       "tavik: bad chunk size from server\n"},
      // strtoul takes the sign and wraps this round to 1.
      {"negative chunk that wraps to one",
       {kChunkedHead + "-ffffffffffffffff\r\nabc\r\n0\r\n\r\n"},
       "tavik: bad chunk size from server\n"},
      {"negative chunk that wraps to one, after a tab",
       {kChunkedHead + "\t-ffffffffffffffff\r\nabc\r\n0\r\n\r\n"},
       "tavik: bad chunk size from server\n"},
      {"chunk beyond 32 bits",
       {kChunkedHead + "100000000\r\nabc\r\n"},
       "tavik: bad chunk size from server\n"},
      // Good chunks after the bad size line must not be read as the body.
      {"negative chunk between good ones",
       {kChunkedHead + "3\r\nabc\r\n-1\r\n3\r\ndef\r\n0\r\n\r\n"},
       "tavik: bad chunk size from server\n"},
      {"chunk too large between good ones",
       {kChunkedHead + "3\r\nabc\r\n80000000\r\n3\r\ndef\r\n0\r\n\r\n"},
       "tavik: bad chunk size from server\n"},
      {"chunks beyond 32 bits together",
       {kChunkedHead + "1\r\na\r\n7fffffff\r\nabc\r\n"},
       "tavik: response body too large\n"},
  };
  for (const failure_case &c : cases) {
    fetch_outcome o = fetch(c.segments);
    EXPECT_FALSE(o.doc.has_value()) << c.name;
    EXPECT_EQ(o.err, c.err) << c.name;
    EXPECT_TRUE(o.fd_closed) << c.name;
  }
}

// Whatever the server puts in its status line reaches the user's terminal:
// control bytes must not, so escape sequences cannot retitle the terminal,
// clear it or hide the real status.
TEST(Exchange, StatusLineControlBytesAreShownAsQuestionMarks) {
  std::string title_runs, shown_runs;
  for (int i = 0; i < 90; i++) {  // one receive: under 1024 bytes
    title_runs += "\x1b]0;owned\x07";
    shown_runs += "?]0;owned?";
  }
  const struct {
    const char *name;
    std::string line;
    std::string shown;
  } cases[] = {
      {"escape", "HTTP/1.1 404 \x1b[2JGone", "404 (?[2JGone)"},
      {"bell", "HTTP/1.1 404 Gone\x07", "404 (Gone?)"},
      {"lone carriage return", "HTTP/1.1 404 Not\rFound", "404 (Not?Found)"},
      {"tab inside the reason", "HTTP/1.1 404 Not\tFound", "404 (Not?Found)"},
      {"delete", "HTTP/1.1 404 Gone\x7f", "404 (Gone?)"},
      {"long run of sequences", "HTTP/1.1 500 " + title_runs,
       "500 (" + shown_runs + ")"},
      {"control byte inside the code",
       "HTTP/1.1 4\x1b"
       "04 Gone",
       "4?04 (Gone)"},
      {"UTF-8 stays", "HTTP/1.1 404 Introuvable \xc3\xa9t\xc3\xa9",
       "404 (Introuvable \xc3\xa9t\xc3\xa9)"},
      {"C1 control in UTF-8 (CSI)",
       "HTTP/1.1 404 Not\xc2\x9b"
       "31mFound",
       "404 (Not?31mFound)"},
      {"first and last C1 control", "HTTP/1.1 404 \xc2\x80\xc2\x9f",
       "404 (?\?)"},
      {"lone C1 byte (CSI)",
       "HTTP/1.1 404 Not\x9b"
       "31mFound",
       "404 (Not?31mFound)"},
      {"bytes outside well-formed UTF-8",
       "HTTP/1.1 404 \xc0\xaf \xe2\x82 \xed\xa0\x80 \xf4\x90\x80\x80 \xff",
       "404 (?? ?? ??? ???? ?)"},
      {"characters next to the C1 range stay",
       "HTTP/1.1 404 A\xc2\xa0"
       "B \xc4\xb0stanbul \xc3\xbf \x7e",
       "404 (A\xc2\xa0"
       "B \xc4\xb0stanbul \xc3\xbf \x7e)"},
  };
  for (const auto &c : cases) {
    fetch_outcome o = fetch({c.line + "\r\n\r\n"});
    EXPECT_FALSE(o.doc.has_value()) << c.name;
    EXPECT_EQ(o.err, "tavik: server response was " + c.shown + "\n") << c.name;
  }
}

TEST(Exchange, SilentServerIsANetworkReadError) {
  const std::vector<std::vector<std::string>> scripts = {
      {},
      {std::string(kHead)},
      {std::string(kHead) + "Content-Length: 10\r\n\r\nabc"},
      {std::string(kHead) + "\r\nno framing"},
  };
  for (const auto &s : scripts) {
    fetch_outcome o = fetch(s, true);
    EXPECT_FALSE(o.doc.has_value());
    EXPECT_EQ(o.err, "tavik: network read error\n");
  }
  // A silent chunked body fails without a message of its own.
  fetch_outcome o = fetch({kChunkedHead + "5\r\nab"}, true);
  EXPECT_FALSE(o.doc.has_value());
  EXPECT_EQ(o.err, "");
}

// The same responses split into receives of every small size give the
// same document.
TEST(Exchange, ReceiveBoundariesDoNotMatter) {
  std::string doc;
  for (int i = 0; i < 60; i++)
    doc += "<line n=\"" + std::to_string(i) + "\">text</line>\r\n";
  const std::string responses[] = {content_length_response(doc),
                                   chunked_response(doc, 37)};
  for (const std::string &response : responses)
    for (size_t n : {1, 2, 3, 4, 5, 1023, 1024}) {
      fetch_outcome o = fetch(split_every(response, n));
      ASSERT_TRUE(o.doc.has_value()) << n;
      EXPECT_EQ(*o.doc, doc) << n;
    }
}

}  // namespace
