// The socket module. A SOCK_SEQPACKET pair keeps each written segment a
// receive of its own, so receive boundaries are exact, not timing-bound.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "http/sock.h"
#include "peer.h"

namespace {

class Reader : public testing::Test {
 protected:
  // The reader's side of a pair whose other side has sent segments, each
  // arriving as one receive, and then closed unless keep_open.
  int feed(const std::vector<std::string> &segments, bool keep_open = false) {
    int sv[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sv), 0);
    for (const std::string &s : segments)
      EXPECT_EQ(send(sv[1], s.data(), s.size(), 0), (ssize_t)s.size());
    if (keep_open)
      writer_ = sv[1];
    else
      close(sv[1]);
    reader_ = sv[0];
    sock_reset();
    return sv[0];
  }
  void TearDown() override {
    if (reader_ >= 0) close(reader_);
    if (writer_ >= 0) close(writer_);
  }
  std::string line(int size = 2000) {
    std::vector<char> buf((size_t)size, '\x55');
    last_ = sock_read_line(buf.data(), size, reader_, 2);
    return last_ > 0 || last_ == SOCK_FULL ? std::string(buf.data()) : "";
  }
  std::string take(int max = 2000) {
    const char *span = nullptr;
    last_ = sock_take(&span, max, reader_, 2);
    return last_ > 0 ? std::string(span, (size_t)last_) : "";
  }
  int reader_ = -1, writer_ = -1;
  int last_ = 0;
};

TEST_F(Reader, FoldsLineEndings) {
  const struct {
    std::vector<std::string> segments;
    std::vector<std::string> lines;
  } cases[] = {
      {{"HTTP/1.1 200 OK\r\n"}, {"HTTP/1.1 200 OK\n"}},
      {{"HTTP/1.1 200 OK\n"}, {"HTTP/1.1 200 OK\n"}},
      {{"one\r", "\ntwo\r\n"}, {"one\n", "two\n"}},  // CR | LF
      {{"a\rb\r\n"}, {"a\rb\n"}},                    // lone CR kept
      {{"a\r", "b\n"}, {"a\rb\n"}},                  // lone CR at the edge
      {{"a\r\r\n"}, {"a\r\n"}},
      {{"x", "y", "z\r", "\n"}, {"xyz\n"}},
      {{"\r\n\n"}, {"\n", "\n"}},
  };
  for (const auto &c : cases) {
    feed(c.segments);
    for (const std::string &want : c.lines) {
      EXPECT_EQ(line(), want);
      EXPECT_EQ(last_, (int)want.size());
    }
    EXPECT_EQ(line(), "");
    EXPECT_EQ(last_, SOCK_CLOSED);
    close(reader_);
    reader_ = -1;
  }
}

TEST_F(Reader, LongLinesAtTheBufferSize) {
  const std::string body(1998, 'a');
  feed(split_every(
      body + "\r\n" + body + "\n" + std::string(2500, 'b') + "\nnext\n", 1024));
  EXPECT_EQ(line(), body + "\n");  // size - 2 characters and CR LF: fits
  EXPECT_EQ(last_, 1999);
  EXPECT_EQ(line(), body + "\n");  // the same with LF: LF fills the buffer
  EXPECT_EQ(last_, SOCK_FULL);
  EXPECT_EQ(line(), std::string(1999, 'b'));  // cut; the rest dropped
  EXPECT_EQ(last_, SOCK_FULL);
  EXPECT_EQ(line(), "next\n");
}

TEST_F(Reader, FullLineEndingInCrLfIsCut) {
  feed({std::string(5, 'z') + "\r\nok\n"});
  EXPECT_EQ(line(4), "zzz");
  EXPECT_EQ(last_, SOCK_FULL);
  EXPECT_EQ(line(5), "ok\n");
  EXPECT_EQ(last_, 3);
}

TEST_F(Reader, ClosedPeerGivesClosedAgainAndAgain) {
  feed({"partial"});
  EXPECT_EQ(line(), "");
  EXPECT_EQ(last_, SOCK_CLOSED);
  line();
  EXPECT_EQ(last_, SOCK_CLOSED);
  take();
  EXPECT_EQ(last_, SOCK_CLOSED);
}

TEST_F(Reader, CrLostWhenPeerClosesAfterIt) {
  feed({"abc\r"});
  line();
  EXPECT_EQ(last_, SOCK_CLOSED);
}

TEST_F(Reader, SilenceIsStickyUntilReset) {
  int fd = feed({}, true);
  std::vector<char> buf(100);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(sock_read_line(buf.data(), 100, fd, 1), SOCK_FAILED);
  auto t1 = std::chrono::steady_clock::now();
  EXPECT_GE(t1 - t0, std::chrono::milliseconds(900));
  // Data arriving later does not matter: the failure stays, at once.
  send(writer_, "late\n", 5, 0);
  EXPECT_EQ(sock_read_line(buf.data(), 100, fd, 1), SOCK_FAILED);
  const char *span;
  EXPECT_EQ(sock_take(&span, 100, fd, 1), SOCK_FAILED);
  EXPECT_LT(std::chrono::steady_clock::now() - t1,
            std::chrono::milliseconds(200));
  sock_reset();
  EXPECT_EQ(sock_read_line(buf.data(), 100, fd, 1), 5);
  EXPECT_STREQ(buf.data(), "late\n");
}

// A body is read as spans and, where the wanted bytes end inside a
// receive, the rest of that line is dropped: spans never reach into a
// second receive, and CR is an ordinary byte.
TEST_F(Reader, SpansEndAtTheReceiveEnd) {
  feed({"ab\ncd\r\nef", "gh\n"});
  EXPECT_EQ(take(), "ab\ncd\r\nef");  // the whole receive, LFs and all
  EXPECT_EQ(take(), "gh\n");
  take();
  EXPECT_EQ(last_, SOCK_CLOSED);
}

TEST_F(Reader, DropsTheRestOfTheLineAfterASpan) {
  feed({"ab\ncd\r\nef", "gh\n"});
  EXPECT_EQ(take(2), "ab");
  EXPECT_TRUE(sock_drop_to_line_end());  // "\n"
  EXPECT_EQ(take(1), "c");
  EXPECT_TRUE(sock_drop_to_line_end());  // "d\r\n": CR is ordinary
  EXPECT_EQ(take(1), "e");
  EXPECT_FALSE(sock_drop_to_line_end());  // "f": the receive ran out
  EXPECT_FALSE(sock_drop_to_line_end());  // nothing buffered: no receive
  EXPECT_EQ(take(), "gh\n");
}

TEST_F(Reader, LongLineAfterASpanIsDroppedWhole) {
  feed({"abcdef\nxy"});
  EXPECT_EQ(take(3), "abc");
  EXPECT_TRUE(sock_drop_to_line_end());
  EXPECT_EQ(take(), "xy");
}

TEST_F(Reader, LinesAndSpansShareTheBuffer) {
  feed({"5\r\nhello\r\n0\r\n"});
  EXPECT_EQ(line(), "5\n");
  EXPECT_EQ(take(5), "hello");
  EXPECT_TRUE(sock_drop_to_line_end());
  EXPECT_EQ(line(), "0\n");
}

// A span is handed out as soon as anything is buffered, however much was
// asked for; only an empty reader waits, for one receive.
TEST_F(Reader, SpanWaitsOnlyWhenNothingIsBuffered) {
  int fd = feed({"abc"}, true);
  const char *span;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(take(100), "abc");
  EXPECT_LT(std::chrono::steady_clock::now() - t0,
            std::chrono::milliseconds(200));
  send(writer_, "de", 2, 0);
  send(writer_, "fg", 2, 0);
  EXPECT_EQ(take(100), "de");  // one receive, not two
  EXPECT_EQ(take(100), "fg");
  t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(sock_take(&span, 100, fd, 1), SOCK_FAILED);
  EXPECT_GE(std::chrono::steady_clock::now() - t0,
            std::chrono::milliseconds(900));
}

TEST_F(Reader, DescriptorBeyondSelectLimitStillWorks) {
  rlimit lim;
  getrlimit(RLIMIT_NOFILE, &lim);
  if (lim.rlim_cur < FD_SETSIZE + 11) {
    lim.rlim_cur =
        lim.rlim_max < FD_SETSIZE + 11 ? lim.rlim_max : FD_SETSIZE + 11;
    setrlimit(RLIMIT_NOFILE, &lim);
  }
  int fd = feed({"far away\r\n"});
  int high = dup2(fd, FD_SETSIZE + 10);
  if (high < 0) GTEST_SKIP() << "cannot open a descriptor beyond FD_SETSIZE";
  std::vector<char> buf(100);
  EXPECT_EQ(sock_read_line(buf.data(), 100, high, 1), 9);
  EXPECT_STREQ(buf.data(), "far away\n");
  EXPECT_EQ(sock_read_line(buf.data(), 100, high, 1), SOCK_CLOSED);
  close(high);
}

}  // namespace
