// The configuration reader.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "capture.h"
#include "config/config.h"
#include "run_tavik.h"
#include "sample_docs.h"
#include "samples.h"
#include "script_server.h"

namespace {

struct config_outcome {
  int errors;
  std::string err;
  run_settings s;
  config_outcome() = default;
  config_outcome(const config_outcome &) = delete;
  ~config_outcome() {
    free(s.url);
    free(s.appid);
  }
};

// Reads the file at path into o.
void read_path(const char *path, config_outcome *o) {
  o->err = capture_stderr([&] { o->errors = read_config(path, &o->s); });
}

// Reads content as a configuration file into o.
void read_into(const std::string &content, config_outcome *o) {
  temp_file f(content);
  read_path(f.path().c_str(), o);
}

const char kGood[] = "URL http://wx/q?id=$l\nAPPID Key\n";

struct config_case {
  const char *name;
  std::string content;
  std::string err;
};

TEST(Config, ReportsEveryProblemWithItsLine) {
  const std::string long_word(240, 'k');
  const config_case cases[] = {
      {"empty file", "",
       "tavik: config: a URL entry must be given\n"
       "tavik: config: an APPID entry must be given\n"},
      {"blank and comment lines", "\n   \t\n# only a comment\n",
       "tavik: config: a URL entry must be given\n"
       "tavik: config: an APPID entry must be given\n"},
      {"unknown keyword", std::string(kGood) + "URLS http://x\n",
       "tavik: config: line 3: unrecognised command 'URLS'\n"},
      {"unknown keyword with many tokens", std::string(kGood) + "Foo a b c d\n",
       "tavik: config: line 3: unrecognised command 'Foo'\n"},
      {"keyword alone", std::string(kGood) + "LOCATION\nUNITS\n",
       "tavik: config: line 3: no value after LOCATION command\n"
       "tavik: config: line 4: no value after UNITS command\n"},
      {"url and appid alone", "URL\nAPPID  # none\n",
       "tavik: config: line 1: no URL after URL command\n"
       "tavik: config: line 2: no value after APPID command\n"
       "tavik: config: a URL entry must be given\n"
       "tavik: config: an APPID entry must be given\n"},
      {"extra tokens", std::string(kGood) + "LOCATION 1 2 3 4\n",
       "tavik: config: line 3: syntax error (extra on end)\n"},
      {"repeats",
       std::string(kGood) + "url http://b\nappid x\nlocation 4\nLOCATION 5\n"
                            "units metric\nUNITS imperial\n",
       "tavik: config: line 3: URL specified more than once\n"
       "tavik: config: line 4: APPID specified more than once\n"
       "tavik: config: line 6: LOCATION specified more than once\n"
       "tavik: config: line 8: UNITS specified more than once\n"},
      {"repeat checked before extra and missing value",
       std::string(kGood) + "URL a b c\nURL\n",
       "tavik: config: line 3: URL specified more than once\n"
       "tavik: config: line 4: URL specified more than once\n"},
      {"bad scheme, then a good URL is taken",
       "URL https://wx/\nURL http://wx/\nAPPID k\n",
       "tavik: config: line 1: bad scheme in URL value\n"},
      {"one slash after the scheme is a bad scheme",
       "URL http:/host/\nAPPID k\n",
       "tavik: config: line 1: bad scheme in URL value\n"
       "tavik: config: a URL entry must be given\n"},
      {"bad units, then good units are taken",
       std::string(kGood) + "UNITS imp\nUNITS Metrics\nUNITS IMPERIAL\n",
       "tavik: config: line 3: invalid value for UNITS command\n"
       "tavik: config: line 4: invalid value for UNITS command\n"},
      {"carriage return stays on the last token",
       std::string(kGood) + "UNITS metric\r\nLOCATION 7\r\n\r\n",
       "tavik: config: line 3: invalid value for UNITS command\n"
       "tavik: config: line 5: unrecognised command '?'\n"},
      {"hash cuts a value", "URL http://wx/#frag\nAPPID #secret\n",
       "tavik: config: line 2: no value after APPID command\n"
       "tavik: config: an APPID entry must be given\n"},
      {"long keyword printed whole", std::string(kGood) + long_word + "\n",
       "tavik: config: line 3: unrecognised command '" + long_word + "'\n"},
      // The message fills the 200-byte buffer exactly, or by one byte
      // more or less: none loses its last character.
      {"message of 199 bytes",
       std::string(kGood) + std::string(176, 'w') + "\n",
       "tavik: config: line 3: unrecognised command '" + std::string(176, 'w') +
           "'\n"},
      {"message of 200 bytes",
       std::string(kGood) + std::string(177, 'w') + "\n",
       "tavik: config: line 3: unrecognised command '" + std::string(177, 'w') +
           "'\n"},
      {"message of 201 bytes",
       std::string(kGood) + std::string(178, 'w') + "\n",
       "tavik: config: line 3: unrecognised command '" + std::string(178, 'w') +
           "'\n"},
      // A file handed to the user must not set the terminal's title or
      // clear its screen: C0, DEL, C1 and stray bytes show as "?".
      {"terminal controls in a keyword",
       std::string(kGood) + "FOO\033]0;title\007\033[2J\n",
       "tavik: config: line 3: unrecognised command 'FOO?]0;title??[2J'\n"},
      {"DEL, C1 and a stray byte in a keyword",
       std::string(kGood) + "A\177B\xc2\x9b"
                            "C\x9b"
                            "D\xc3\xa9\n",
       "tavik: config: line 3: unrecognised command 'A?B?C?D\xc3\xa9'\n"},
  };
  for (const config_case &c : cases) {
    config_outcome o;
    read_into(c.content, &o);
    EXPECT_EQ(o.err, c.err) << c.name;
    int lines = 0;
    for (char ch : c.err) lines += ch == '\n';
    EXPECT_EQ(o.errors, lines) << c.name;
  }
}

// fgets takes 249 characters at a time: a longer physical line is several
// numbered lines, and every later message is numbered accordingly. Once a
// "#" has been met, the pieces after it up to the line's end are comment
// too, whatever they hold.
TEST(Config, LongPhysicalLinesCountAsSeveralLines) {
  const std::string tail(51, 'x');
  const std::string keyword_line = "URL http://127.0.0.1:1/from-comment?$A";
  const std::string from_tail = "http://127.0.0.1:1/from-tail";
  const std::string c248(248, 'c');
  const struct {
    const char *name;
    std::string first;
    std::string err;
    std::string url;
  } cases[] = {
      {"comment of 248 characters and the newline: one piece",
       "#" + std::string(247, 'c'),
       "tavik: config: line 2: unrecognised command 'bad'\n", "http://h/"},
      {"comment of 249 characters: the newline alone is the next line",
       "#" + c248, "tavik: config: line 3: unrecognised command 'bad'\n",
       "http://h/"},
      {"comment of 249 characters ending in a keyword line",
       "#" + std::string(248 - keyword_line.size(), 'c') + keyword_line,
       "tavik: config: line 3: unrecognised command 'bad'\n", "http://h/"},
      {"comment of 250 characters, cut inside its keyword line",
       "#" + std::string(249 - keyword_line.size(), 'c') + keyword_line,
       "tavik: config: line 3: unrecognised command 'bad'\n", "http://h/"},
      {"comment whose second piece is a keyword line",
       "#" + c248 + keyword_line,
       "tavik: config: line 3: unrecognised command 'bad'\n", "http://h/"},
      {"comment of 600 characters, its third piece a keyword line",
       "#" + std::string(497, 'c') + keyword_line +
           std::string(102 - keyword_line.size(), ' '),
       "tavik: config: line 4: unrecognised command 'bad'\n", "http://h/"},
      {"blanks before the comment",
       " \t #" + std::string(245, 'c') + keyword_line,
       "tavik: config: line 3: unrecognised command 'bad'\n", "http://h/"},
      {"hash after a value",
       "LOCATION 5 #" + std::string(237, 'c') + keyword_line,
       "tavik: config: line 3: unrecognised command 'bad'\n", "http://h/"},
      {"hash in the second piece, keyword line in the third",
       "LOCATION 5" + std::string(239, ' ') + "#" + c248 + keyword_line,
       "tavik: config: line 4: unrecognised command 'bad'\n", "http://h/"},
      {"a NUL inside a comment does not carry it on", std::string("# a\0b", 5),
       "tavik: config: line 2: unrecognised command 'bad'\n", "http://h/"},
      // Without a "#" each piece is a line of its own, keyword lines too.
      {"no hash: a keyword line in the second piece is taken",
       std::string(249, 'k') + "URL " + from_tail,
       "tavik: config: line 1: unrecognised command '" + std::string(249, 'k') +
           "'\n"
           "tavik: config: line 3: unrecognised command 'bad'\n"
           "tavik: config: line 5: URL specified more than once\n",
       from_tail},
      // 300 characters: the URL is cut after 249, its tail is a line of its
      // own, and the later URL line is a repeat.
      {"no hash: a URL of 300 characters",
       "URL http://" + std::string(238, 'h') + tail,
       "tavik: config: line 2: unrecognised command '" + tail +
           "'\n"
           "tavik: config: line 3: unrecognised command 'bad'\n"
           "tavik: config: line 5: URL specified more than once\n",
       "http://" + std::string(238, 'h')},
  };
  for (const auto &c : cases) {
    config_outcome o;
    read_into(c.first + "\nbad\nAPPID k\nURL http://h/\n", &o);
    EXPECT_EQ(o.err, c.err) << c.name;
    ASSERT_NE(o.s.url, nullptr) << c.name;
    EXPECT_EQ(std::string(o.s.url), c.url) << c.name;
  }
  config_outcome comment_last;
  read_into("URL http://h/\nAPPID k\n#" + c248 + keyword_line, &comment_last);
  EXPECT_EQ(comment_last.err, "");
  EXPECT_STREQ(comment_last.s.url, "http://h/");
}

TEST(Config, StoresValues) {
  config_outcome o;
  read_into(
      "  Url\tHTTP://WX.Example:81/Q?ID=$L&u=$U   # comment\n"
      "appid AbC$d\n"
      "LoCaTiOn -5\n"
      "units ImPeRiAl\n",
      &o);
  EXPECT_EQ(o.errors, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_STREQ(o.s.url, "http://wx.example:81/q?id=$l&u=$u");
  EXPECT_STREQ(o.s.appid, "AbC$d");
  EXPECT_EQ(o.s.location, -5);
  EXPECT_EQ(o.s.units, UNITS_IMPERIAL);
  EXPECT_EQ(o.s.compressed, 0);
  EXPECT_EQ(o.s.debug, 0);
  EXPECT_EQ(o.s.delimiter, '\0');
}

TEST(Config, LocationValues) {
  const struct {
    const char *text;
    int location;
    int errors;
  } cases[] = {
      {"LOCATION 12abc\n", 12, 0},
      {"LOCATION -5\n", -5, 0},
      {"LOCATION 7\r\n", 7, 0},
      {"LOCATION 0\nLOCATION 9\n", 9, 0},    // 0 leaves it unset
      {"LOCATION abc\nLOCATION 8\n", 8, 0},  // so does text
      {"LOCATION abc\n", 0, 0},
      {"LOCATION 4294967297\n", 1, 0},  // low 32 bits
  };
  for (const auto &c : cases) {
    config_outcome o;
    read_into(std::string(kGood) + c.text, &o);
    EXPECT_EQ(o.errors, c.errors) << c.text;
    EXPECT_EQ(o.s.location, c.location) << c.text;
  }
}

TEST(Config, UnitsDefaultToMetric) {
  config_outcome o;
  read_into(kGood, &o);
  EXPECT_EQ(o.errors, 0);
  EXPECT_EQ(o.s.units, UNITS_METRIC);
  config_outcome explicit_metric;
  read_into(std::string(kGood) + "UNITS metric\n", &explicit_metric);
  EXPECT_EQ(explicit_metric.s.units, UNITS_METRIC);
}

TEST(Config, CarriageReturnIsKeptOnStoredTexts) {
  config_outcome o;
  read_into("URL http://wx/\r\nAPPID k\r\n", &o);
  EXPECT_EQ(o.errors, 0);
  EXPECT_STREQ(o.s.url, "http://wx/\r");
  EXPECT_STREQ(o.s.appid, "k\r");
}

// A path that cannot be read as a configuration file, and the verb of
// its message.
struct unreadable_path {
  std::string path;
  const char *verb;
  // What the reader says about it.
  std::string message() const {
    return "tavik: config: cannot " + std::string(verb) +
           " configuration file " + path + "\n";
  }
};

// A missing file, paths longer than the diagnostics' buffers (200 bytes
// for the message, 512 for the whole line), and a directory, which opens
// but cannot be read: the one a temp_file lives in.
struct unreadable_paths {
  temp_file in_dir{""};
  std::vector<unreadable_path> entries = {
      {"/no/such/dir/tavik.conf", "open"},
      {"/no/" + std::string(300, 'p'), "open"},
      {"/no/" + std::string(600, 'p'), "open"},
      {in_dir.dir(), "read"}};
};

// One error with the path printed whole; the missing entries of such a
// file are not reported on top.
TEST(Config, FileThatCannotBeReadIsOneErrorAndNothingElse) {
  unreadable_paths paths;
  for (const unreadable_path &c : paths.entries) {
    config_outcome o;
    read_path(c.path.c_str(), &o);
    EXPECT_EQ(o.err, c.message());
    EXPECT_EQ(o.errors, 1);
  }
}

// The reader's message, then the driver's count.
TEST(ConfigE2E, FileThatCannotBeReadEndsTheRun) {
  unreadable_paths paths;
  for (const unreadable_path &c : paths.entries) {
    run_result r = run_tavik({"-c", c.path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.message() + "tavik: 1 configuration error\n");
  }
}

// The driver's summary counts what the reader reported.
TEST(ConfigE2E, DriverSummarisesTheCount) {
  const struct {
    const char *content;
    const char *summary;
  } cases[] = {
      {"URL http://h/\n",
       "tavik: config: an APPID entry must be given\n"
       "tavik: 1 configuration error\n"},
      {"",
       "tavik: config: a URL entry must be given\n"
       "tavik: config: an APPID entry must be given\n"
       "tavik: 2 configuration errors\n"},
      {"x\ny\nz\nURL http://h/\nAPPID a\n",
       "tavik: config: line 1: unrecognised command 'x'\n"
       "tavik: config: line 2: unrecognised command 'y'\n"
       "tavik: config: line 3: unrecognised command 'z'\n"
       "tavik: 3 configuration errors\n"},
  };
  for (const auto &c : cases) {
    temp_file f(c.content);
    run_result r = run_tavik({"-c", f.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.summary);
  }
}

TEST(ConfigE2E, NoLocationAnywhereIsReportedByTheDriver) {
  temp_file f("URL http://h/\nAPPID a\n");
  run_result r = run_tavik({"-c", f.path()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "tavik: there is no LOCATION entry in the configuration file, and "
            "no -l option is present\n");
}

// The process's working directory, changed for the object's lifetime.
class working_directory {
 public:
  explicit working_directory(const std::string &dir)
      : old_(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (old_ < 0 || chdir(dir.c_str()) != 0)
      ADD_FAILURE() << "cannot change to " << dir;
  }
  ~working_directory() {
    if (old_ >= 0 && fchdir(old_) != 0) ADD_FAILURE() << "cannot change back";
    if (old_ >= 0) close(old_);
  }
  working_directory(const working_directory &) = delete;

 private:
  int old_;
};

// Without -c, tavik reads the user's own file when there is one, and the
// system-wide file otherwise; -c always wins. The runs use the tests' copy
// of tavik, whose system-wide file is TEST_SYSTEM_CONFIG, and start in the
// scratch directory, so that a relative HOME or XDG_CONFIG_HOME would name
// the files made there.
TEST(ConfigE2E, UsersOwnFileIsReadWithoutC) {
  std::string doc;
  ASSERT_TRUE(sample_document(3003, "metric", &doc));
  temp_file scratch("");
  const std::string home = scratch.dir() + "/home";
  const std::string xdg = scratch.dir() + "/xdg";
  const std::string home_file = home + "/.config/tavik/tavik.conf";
  const std::string xdg_file = xdg + "/tavik/tavik.conf";
  for (const std::string &d :
       {home, home + "/.config", home + "/.config/tavik", xdg, xdg + "/tavik"})
    ASSERT_EQ(mkdir(d.c_str(), 0700), 0) << d;
  temp_file named_by_c("not-a-keyword\nURL http://h/\nAPPID a\n");

  const std::string system_file_read =
      "tavik: config: line 3: unrecognised command "
      "'from-the-system-wide-file'\n"
      "tavik: config: a URL entry must be given\n"
      "tavik: config: an APPID entry must be given\n"
      "tavik: 3 configuration errors\n";
  enum where {
    NONE,
    IN_HOME,
    IN_XDG,
    DIRECTORY_IN_HOME,
    DANGLING_IN_HOME,
    LOOP_IN_HOME,        // the file a link to itself
    LOOP_ABOVE_IN_HOME,  // its directory a link to itself
    CONFIG_IS_A_FILE     // $HOME/.config a regular file
  };
  const struct {
    const char *name;
    where file;
    std::vector<std::string> env;
    std::vector<std::string> args;
    std::string err;  // empty: the report, from the user's file
  } cases[] = {
      {"in HOME", IN_HOME, {"HOME=" + home}, {}, ""},
      {"in XDG_CONFIG_HOME",
       IN_XDG,
       {"HOME=" + home, "XDG_CONFIG_HOME=" + xdg},
       {},
       ""},
      {"XDG_CONFIG_HOME empty",
       IN_HOME,
       {"HOME=" + home, "XDG_CONFIG_HOME="},
       {},
       ""},
      {"XDG_CONFIG_HOME relative",
       IN_HOME,
       {"HOME=" + home, "XDG_CONFIG_HOME=xdg"},
       {},
       ""},
      {"-c wins",
       IN_HOME,
       {"HOME=" + home},
       {"-c", named_by_c.path()},
       "tavik: config: line 1: unrecognised command 'not-a-keyword'\n"
       "tavik: 1 configuration error\n"},
      {"absent: the system-wide file",
       NONE,
       {"HOME=" + home},
       {},
       system_file_read},
      {"only in HOME, XDG_CONFIG_HOME set: the system-wide file",
       IN_HOME,
       {"HOME=" + home, "XDG_CONFIG_HOME=" + xdg},
       {},
       system_file_read},
      {"no HOME: the system-wide file", IN_HOME, {}, {}, system_file_read},
      {"relative HOME: the system-wide file",
       IN_HOME,
       {"HOME=home"},
       {},
       system_file_read},
      {"relative XDG_CONFIG_HOME holding the file: the system-wide file",
       IN_XDG,
       {"HOME=" + home, "XDG_CONFIG_HOME=xdg"},
       {},
       system_file_read},
      {"HOME/.config a regular file: the system-wide file",
       CONFIG_IS_A_FILE,
       {"HOME=" + home},
       {},
       system_file_read},
      {"there but unreadable: an error, no fall-back",
       DIRECTORY_IN_HOME,
       {"HOME=" + home},
       {},
       "tavik: config: cannot read configuration file " + home_file +
           "\ntavik: 1 configuration error\n"},
      {"dangling link: an error, no fall-back",
       DANGLING_IN_HOME,
       {"HOME=" + home},
       {},
       "tavik: config: cannot open configuration file " + home_file +
           "\ntavik: 1 configuration error\n"},
      {"link loop: an error, no fall-back",
       LOOP_IN_HOME,
       {"HOME=" + home},
       {},
       "tavik: config: cannot open configuration file " + home_file +
           "\ntavik: 1 configuration error\n"},
      {"link loop above the file: an error, no fall-back",
       LOOP_ABOVE_IN_HOME,
       {"HOME=" + home},
       {},
       "tavik: config: cannot open configuration file " + home_file +
           "\ntavik: 1 configuration error\n"},
  };
  const std::string tavik_dir = home + "/.config/tavik";
  working_directory in_scratch(scratch.dir());
  for (const auto &c : cases) {
    // The server only where the user's file names it and a report follows.
    std::unique_ptr<script_server> server;
    std::string content = "URL http://127.0.0.1:1/\nAPPID a\nLOCATION 1\n";
    if (c.err.empty()) {
      server.reset(new script_server(reply(content_length_response(doc))));
      content = config_for_port(server->port());
    }
    const std::string &path = c.file == IN_XDG ? xdg_file : home_file;
    if (c.file == IN_HOME || c.file == IN_XDG) {
      FILE *f = fopen(path.c_str(), "w");
      ASSERT_NE(f, nullptr) << c.name;
      fputs(content.c_str(), f);
      fclose(f);
    } else if (c.file == DIRECTORY_IN_HOME) {
      ASSERT_EQ(mkdir(path.c_str(), 0700), 0) << c.name;
    } else if (c.file == DANGLING_IN_HOME) {
      ASSERT_EQ(symlink("nowhere", path.c_str()), 0) << c.name;
    } else if (c.file == LOOP_IN_HOME) {
      ASSERT_EQ(symlink("tavik.conf", path.c_str()), 0) << c.name;
    } else if (c.file == LOOP_ABOVE_IN_HOME) {
      ASSERT_EQ(rmdir(tavik_dir.c_str()), 0) << c.name;
      ASSERT_EQ(symlink("tavik", tavik_dir.c_str()), 0) << c.name;
    } else if (c.file == CONFIG_IS_A_FILE) {
      ASSERT_EQ(rmdir(tavik_dir.c_str()), 0) << c.name;
      ASSERT_EQ(rmdir((home + "/.config").c_str()), 0) << c.name;
      FILE *f = fopen((home + "/.config").c_str(), "w");
      ASSERT_NE(f, nullptr) << c.name;
      fclose(f);
    }
    run_options options;
    options.test_system_file = true;
    options.env = c.env;
    std::vector<std::string> argv = {"tavik"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    run_result r = run_tavik_argv(argv, options);
    if (c.err.empty()) {
      EXPECT_EQ(r.status, 0) << c.name;
      EXPECT_EQ(r.err, "") << c.name;
      EXPECT_EQ(r.out, kMillbrookReport) << c.name;
    } else {
      EXPECT_EQ(r.status, 1) << c.name;
      EXPECT_EQ(r.out, "") << c.name;
      EXPECT_EQ(r.err, c.err) << c.name;
    }
    if (c.file == DIRECTORY_IN_HOME) {
      rmdir(path.c_str());
    } else if (c.file == LOOP_ABOVE_IN_HOME) {
      unlink(tavik_dir.c_str());
      ASSERT_EQ(mkdir(tavik_dir.c_str(), 0700), 0) << c.name;
    } else if (c.file == CONFIG_IS_A_FILE) {
      unlink((home + "/.config").c_str());
      ASSERT_EQ(mkdir((home + "/.config").c_str(), 0700), 0) << c.name;
      ASSERT_EQ(mkdir(tavik_dir.c_str(), 0700), 0) << c.name;
    } else {
      unlink(path.c_str());
    }
  }
  rmdir((xdg + "/tavik").c_str());
  rmdir(xdg.c_str());
  rmdir((home + "/.config/tavik").c_str());
  rmdir((home + "/.config").c_str());
  rmdir(home.c_str());
}

}  // namespace
