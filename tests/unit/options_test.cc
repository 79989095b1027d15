// The option scan, run through the real binary, and its -u rule.
#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

#include <string>

#include "base/settings.h"
#include "capture.h"
#include "main/options.h"
#include "run_tavik.h"
#include "script_server.h"

namespace {

// The help text; %s stands for the program name.
const char kHelp[] =
    "%s: Weather utility\n"
    "Synopsis: %s [options]\n"
    " Options:\n"
    "    -c file      specify alternate configuration file\n"
    "    -d delim     sepecify output delimiter (default @)\n"
    "    -D           enable debug output\n"
    "    -h           display this help\n"
    "    -l location  set location (overrides config)\n"
    "    -u units     select units: (i)mperial or (m)etric\n"
    "    -z           generate output in compressed format\n"
    " \n";

std::string help_for(const std::string &name) {
  char buf[2048];
  snprintf(buf, sizeof buf, kHelp, name.c_str(), name.c_str());
  return std::string(buf) + "Default configuration file is " +
         TAVIK_CONFIG_FILE "\n\nThis is version 1.2\n";
}

TEST(OptionsE2E, HelpGoesToStderrWithStatusZero) {
  for (auto args :
       std::vector<std::vector<std::string>>{{"-h"},
                                             {"-D", "-z", "-h"},
                                             {"-c", "/nonexistent", "-h"},
                                             {"-h", "-x"},
                                             {"-h", "extra"}}) {
    run_result r = run_tavik(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, help_for("tavik"));
  }
}

// Run by the tests' copy of tavik, which reads a system-wide file of theirs
// and not what the machine may have at the real path.
TEST(OptionsE2E, NoArgumentsAtAllStillNamesTheProgram) {
  run_options test_system;
  test_system.test_system_file = true;
  run_result r = run_tavik_argv({}, test_system);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "tavik: config: line 3: unrecognised command "
            "'from-the-system-wide-file'\n"
            "tavik: config: a URL entry must be given\n"
            "tavik: config: an APPID entry must be given\n"
            "tavik: 3 configuration errors\n");
}

TEST(OptionsE2E, ProgramNameIsLowerCasedLastPathComponent) {
  EXPECT_EQ(run_tavik({"-h"}, "/some/path/TAVIK").err, help_for("tavik"));
  EXPECT_EQ(run_tavik({"-h"}, "WeaTher").err, help_for("weather"));
  EXPECT_EQ(run_tavik({"-x"}, "/usr/local/bin/TAVIK").err,
            "tavik: invalid flag -x\n");
  // Bytes with the high bit set are not folded.
  EXPECT_EQ(run_tavik({"-x"}, "./\xC3\x84X").err,
            "\xC3\x84x: invalid flag -x\n");
  // Nothing to derive a name from.
  EXPECT_EQ(run_tavik({"-x"}, "").err, "tavik: invalid flag -x\n");
  EXPECT_EQ(run_tavik({"-x"}, "/usr/bin/").err, "tavik: invalid flag -x\n");
}

struct option_case {
  std::vector<std::string> args;
  const char *err;
};

// Every refusal of the scan, each before any file is opened (the -c paths
// here do not exist, so reaching the configuration would say so).
TEST(OptionsE2E, RefusalsEndWithOneMessageAndStatusOne) {
  const option_case cases[] = {
      {{"-x"}, "invalid flag -x"},
      {{"-x", "-h"}, "invalid flag -x"},
      {{"-?"}, "invalid flag -?"},
      {{"-c"}, "missing value after -c"},
      {{"-D", "-l"}, "missing value after -l"},
      {{"-u"}, "missing value after -u"},
      {{"-d"}, "missing value after -d"},
      {{"-c", "/no/a", "-c", "/no/b"},
       "configuration file specified more than once"},
      {{"-d", "ab"}, "bad delimiter"},
      {{"-d", ""}, "bad delimiter"},
      {{"-l", "5", "-l", "6"}, "-l specified more than once"},
      {{"-l5", "-l-1"}, "-l specified more than once"},
      {{"-u", "i", "-u", "m"}, "units type specified more than once"},
      {{"-u", "metric", "-u", "bogus"}, "units type specified more than once"},
      {{"-u", "imperials"}, "invalid value after -u"},
      {{"-u", "metrics"}, "invalid value after -u"},
      {{"-u", "I"}, "invalid value after -u"},
      {{"-u", "Metric"}, "invalid value after -u"},
      {{"-u", "imperiaL"}, "invalid value after -u"},
      {{"-u", "x"}, "invalid value after -u"},
      {{"-c", "/no/such", "word"}, "too many args"},
      {{"word", "-x"}, "too many args"},
      {{"-"}, "too many args"},
      {{"-D", "--", "-x"}, "too many args"},
  };
  for (const option_case &c : cases) {
    run_result r = run_tavik(c.args);
    std::string what = testing::PrintToString(c.args);
    EXPECT_EQ(r.status, 1) << what;
    EXPECT_EQ(r.out, "") << what;
    EXPECT_EQ(r.err, std::string("tavik: ") + c.err + "\n") << what;
  }
}

TEST(Options, UnitsAcceptLeadingPartsOfEitherWord) {
  const struct {
    const char *arg;
    int units;
  } cases[] = {
      {"", UNITS_METRIC},
      {"m", UNITS_METRIC},
      {"metr", UNITS_METRIC},
      {"metric", UNITS_METRIC},
      {"i", UNITS_IMPERIAL},
      {"imp", UNITS_IMPERIAL},
      {"imperi", UNITS_IMPERIAL},
      {"imperia", UNITS_IMPERIAL},
      {"imperial", UNITS_IMPERIAL},
      {"imperials", 0},
      {"metrics", 0},
      {"metricx", 0},
      {"M", 0},
      {"mi", 0},
      {"imperialist", 0},
      {"x", 0},
  };
  for (const auto &c : cases) {
    char *argv[] = {const_cast<char *>("tavik"), const_cast<char *>("-u"),
                    const_cast<char *>(c.arg), nullptr};
    option_state opts;
    scan_result result = SCAN_RUN;
    // getopt keeps its place between scans: each starts afresh, as in a
    // new process.
#ifdef __GLIBC__
    optind = 0;
#else
    optreset = 1;
    optind = 1;
#endif
    std::string err = capture_stderr(
        [&] { result = scan_options(3, argv, TAVIK_CONFIG_FILE, &opts); });
    if (c.units != 0) {
      EXPECT_EQ(result, SCAN_RUN) << '"' << c.arg << '"';
      EXPECT_EQ(opts.units_choice, c.units) << '"' << c.arg << '"';
      EXPECT_EQ(err, "") << '"' << c.arg << '"';
    } else {
      EXPECT_EQ(result, SCAN_FAILED) << '"' << c.arg << '"';
      EXPECT_EQ(err, "tavik: invalid value after -u\n") << '"' << c.arg << '"';
    }
  }
}

TEST(OptionsE2E, ConfigurationErrorsComeBeforeTheSummary) {
  run_result r = run_tavik({"-c", "/no/such/file"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "tavik: config: cannot open configuration file /no/such/file\n"
            "tavik: 1 configuration error\n");
}

// A path is text from whoever wrote it: its control characters never reach
// the terminal.
TEST(OptionsE2E, ControlCharactersInTheFileNameAreShownAsQuestionMarks) {
  run_result r = run_tavik({"-c", "/no/\033]0;title\007\033[2J\x9b\177"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(
      r.err,
      "tavik: config: cannot open configuration file /no/?]0;title??[2J??\n"
      "tavik: 1 configuration error\n");
}

// What the overrides do shows in the request the server receives.
TEST(OptionsE2E, OverridesReachTheRequest) {
  const struct {
    std::vector<std::string> args;
    const char *request_line;
  } cases[] = {
      {{}, "GET /data/current?id=3003&units=metric&appid=key HTTP/1.1\r\n"},
      {{"-l", "6"},
       "GET /data/current?id=6&units=metric&appid=key HTTP/1.1\r\n"},
      {{"-l", "-1"},
       "GET /data/current?id=3003&units=metric&appid=key HTTP/1.1\r\n"},
      {{"-l", "-1", "-l", "6"},
       "GET /data/current?id=6&units=metric&appid=key HTTP/1.1\r\n"},
      {{"-l", "-7"},
       "GET /data/current?id=-7&units=metric&appid=key HTTP/1.1\r\n"},
      {{"-l", " 12abc"},
       "GET /data/current?id=12&units=metric&appid=key HTTP/1.1\r\n"},
      // Base 10 always: a leading zero is no octal.
      {{"-l", "010"},
       "GET /data/current?id=10&units=metric&appid=key HTTP/1.1\r\n"},
      {{"-uimp"},
       "GET /data/current?id=3003&units=imperial&appid=key HTTP/1.1\r\n"},
      {{"-u", ""},
       "GET /data/current?id=3003&units=metric&appid=key HTTP/1.1\r\n"},
  };
  for (const auto &c : cases) {
    script_server server(reply("HTTP/1.1 500 Oops\r\n\r\n"));
    temp_file conf(config_for_port(server.port()));
    std::vector<std::string> args = {"-c", conf.path()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    run_result r = run_tavik(args);
    EXPECT_EQ(r.err,
              "tavik: server response was 500 (Oops)\n"
              "tavik: failed to get weather\n");
    std::string req = server.request();
    EXPECT_EQ(req.substr(0, req.find('\n') + 1), c.request_line);
  }
}

TEST(OptionsE2E, LocationZeroOrTextReplacesTheConfiguredOne) {
  temp_file conf(config_for_port(1));
  // 0x1f would be 31 in base 16: in base 10 it is 0.
  for (const char *value : {"0", "abc", "4294967296", "0x1f"}) {
    run_result r = run_tavik({"-c", conf.path(), "-l", value});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "tavik: there is no LOCATION entry in the configuration file, "
              "and no -l option is present\n")
        << value;
  }
}

}  // namespace
