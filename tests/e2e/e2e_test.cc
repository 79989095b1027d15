// Whole runs of the binary against a scripted loopback server.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/select.h>

#include <fstream>
#include <string>

#include "run_tavik.h"
#include "sample_docs.h"
#include "samples.h"
#include "script_server.h"

namespace {

std::string sample(long id, const char *units = "metric") {
  std::string doc;
  EXPECT_TRUE(sample_document(id, units, &doc));
  return doc;
}

run_result run_against(const server_script &script,
                       std::vector<std::string> args = {},
                       std::string *request = nullptr) {
  script_server server(script);
  temp_file conf(config_for_port(server.port()));
  args.insert(args.begin(), {"-c", conf.path()});
  run_result r = run_tavik(args);
  if (request != nullptr) *request = server.request();
  return r;
}

const char kMillbrookLine[] =
    "Millbrook|US|89.65|W|39.80|N|2026-12-10|13:02:44|2026-12-10|22:31:09|"
    "Celsius|3|1|6|64|%|1021|mbar|km/h|9.4|Light breeze|0.0|250|WSW|"
    "West-southwest|75%|broken clouds|16093|metres|rain|2|mm|2026-12-10|"
    "05:25:00|\n";

// A chunked body after whose document a chunk-size line without digits
// comes: that is a chunk of size 0, which ends the body there.
std::string chunked_then_no_digits(const std::string &doc) {
  std::string response = chunked_response(doc, doc.size());
  response.erase(response.rfind("0\r\n"));
  return response + "zz\r\n<current/>";
}

TEST(ReportE2E, TextReportFromEachFraming) {
  const std::string doc = sample(3003);
  const server_script scripts[] = {
      reply(content_length_response(doc)),
      reply(chunked_response(doc, 100)),
      reply(chunked_response(doc, 1)),
      reply("HTTP/1.0 200 OK\r\n\r\n" + doc),
      reply(chunked_then_no_digits(doc)),
  };
  for (const server_script &s : scripts) {
    run_result r = run_against(s);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, kMillbrookReport);
  }
}

TEST(ReportE2E, DelimitedLine) {
  run_result r = run_against(reply(content_length_response(sample(3003))),
                             {"-z", "-d", "|"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, kMillbrookLine);
  r = run_against(reply(content_length_response(sample(3003))),
                  {"-z", "-d", "x", "-d", "|"});
  EXPECT_EQ(r.out, kMillbrookLine);
}

TEST(ReportE2E, ImperialReport) {
  std::string request;
  run_result r =
      run_against(reply(content_length_response(sample(1001, "imperial"))),
                  {"-u", "i"}, &request);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(request.substr(0, request.find('\r')),
            "GET /data/current?id=3003&units=imperial&appid=key HTTP/1.1");
  EXPECT_EQ(r.out,
            "City:\t\tHarbourview (NZ)\n"
            "Longitude:\t174.78E\n"
            "Latitude:\t41.29S\n"
            "Sunrise:\t2026-12-09T16:52:10\n"
            "Sunset\t\t2026-12-10T07:41:55\n"
            "Temperature:\t63 Fahrenheit (min 59, max 66)\n"
            "Humidity:\t72%\n"
            "Pressure:\t1012 mbar\n"
            "Wind:\t\t20.8 mph (Fresh Breeze)\n"
            "Gusts:\t\t32.2 mph\n"
            "Wind direction:\t340 (NNW) (North-northwest)\n"
            "Clouds:\t\t40% (scattered clouds)\n"
            "Visibility:\t10936 yards\n"
            "Precipitation:\tno\n"
            "Last update:\t2026-12-10T05:20:00\n");
}

TEST(ReportE2E, DebugDumpsTheDocumentThenReports) {
  const std::string doc =
      "<current><city name=\"A\">\n<country>NZ</country></city></current>";
  run_result r = run_against(reply(chunked_response(doc, 7)), {"-D", "-z"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "Raw XML data:\n" + doc +
                "\nA@NZ@0.00@E@0.00@N@@@Celsius@0@0@0@0@@0@@km/h@0.0@@0.0@"
                "0@@@0%@@0@metres@@-1@mm@@\n");
  EXPECT_EQ(
      r.err,
      "\nHandling <current>\n\nHandling <city>\n\nHandling <country>\nNZ"
      "\nHandling </country>\n\nHandling </city>\n\nHandling </current>\n");
}

TEST(ReportE2E, DocumentThatDoesNotParse) {
  const std::string doc = "<current><city>";
  run_result r = run_against(reply(content_length_response(doc)), {"-D"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Raw XML data:\n" + doc + "\n");
  EXPECT_EQ(r.err,
            "\nHandling <current>\n\nHandling <city>\n"
            "tavik: error extracting data\n");
  r = run_against(reply("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "tavik: error extracting data\n");
}

TEST(ReportE2E, WrongNestingEndsTheRunInsideTheParse) {
  run_result r = run_against(reply(
      content_length_response("<current><wind><city/></wind></current>")));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "tavik: fatal - moving from state 9, not 1\n");
}

TEST(ReportE2E, RetrievalFailuresEndWithFailedToGetWeather) {
  const struct {
    std::string response;
    const char *err;
  } cases[] = {
      {"HTTP/1.1 404 Not Found\r\n\r\n",
       "tavik: server response was 404 (Not Found)\n"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n",
       "tavik: network read error\n"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n<current/>",
       "tavik: connection closed after 10 of 50 body bytes\n"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", ""},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
       "a\r\n<current/>\r\n-1\r\n2\r\n<x\r\n0\r\n\r\n",
       "tavik: bad chunk size from server\n"},
      {"", "tavik: network read error\n"},
      {"HTTP/1.1 404 \x1b]0;owned\x07Not\tFound\r\n\r\n",
       "tavik: server response was 404 (?]0;owned?Not?Found)\n"},
      {"HTTP/1.1 404 Not\xc2\x9b"
       "31m\x9b"
       "2JFound\r\n\r\n",
       "tavik: server response was 404 (Not?31m?2JFound)\n"},
  };
  for (const auto &c : cases) {
    run_result r = run_against(reply(c.response), {"-D"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string(c.err) + "tavik: failed to get weather\n");
  }
}

// The document's texts reach the user's terminal and other programs'
// lines: a control character in them, C1 included, and CR or LF sent as a
// character reference, must not move the cursor, start an escape sequence
// or forge a line. Each is shown as one "?"; other characters as sent.
TEST(ReportE2E, ControlCharactersInTheDocumentAreShownAsQuestionMarks) {
  const struct {
    const char *name;
    std::string xml;    // as the document carries it
    std::string shown;  // as the report and the -z line show it
  } cases[] = {
      {"CSI as a reference", "A&#x9b;31mB", "A?31mB"},
      {"CSI as UTF-8",
       "A\xc2\x9b"
       "31mB",
       "A?31mB"},
      {"a forged line", "&#13;&#10;City:&#9;X", "??City:?X"},
      {"DEL and the ends of C1", "&#127;&#x80;&#x9f;", "???"},
      {"UTF-8 stays", "Troms\xc3\xb8 \xc3\xbf", "Troms\xc3\xb8 \xc3\xbf"},
      {"U+0130 and no-break space stay", "\xc4\xb0&#xa0;z",
       "\xc4\xb0\xc2\xa0z"},
  };
  for (const auto &c : cases) {
    const std::string doc = "<current><city name=\"" + c.xml + "\"><country>" +
                            c.xml +
                            "</country></city><clouds value=\"75\" name=\"" +
                            c.xml + "\"/></current>";
    run_result r = run_against(reply(content_length_response(doc)));
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.err, "") << c.name;
    EXPECT_EQ(r.out, "City:\t\t" + c.shown + " (" + c.shown +
                         ")\n"
                         "Longitude:\t0.00E\nLatitude:\t0.00N\n"
                         "Sunrise:\t\nSunset\t\t\n"
                         "Temperature:\t0 Celsius (min 0, max 0)\n"
                         "Humidity:\t0\nPressure:\t0 \n"
                         "Wind:\t\t0.0 km/h ()\nWind direction:\t0\n"
                         "Clouds:\t\t75% (" +
                         c.shown +
                         ")\n"
                         "Visibility:\t0 metres\nPrecipitation:\t -1 mm\n"
                         "Last update:\t\n")
        << c.name;
    r = run_against(reply(content_length_response(doc)), {"-z", "-d", "|"});
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.out, c.shown + "|" + c.shown +
                         "|0.00|E|0.00|N|||Celsius|0|0|0|0||0||km/h|0.0||0.0|"
                         "0|||75%|" +
                         c.shown + "|0|metres||-1|mm||\n")
        << c.name;
  }
}

// The -D trace shows the document's names and texts as the report does;
// only the raw dump on standard output is the document as received. (The
// trace leaves out character runs shorter than two bytes, which expat makes
// of a lone line end and of each reference to CR or LF.)
TEST(ReportE2E, DebugTraceShowsControlCharactersAsQuestionMarks) {
  const std::string doc =
      "<current><city name=\"X\">\n  <country>N&#x9b;2J\xc2\x9b"
      "O&#13;&#10;K\tL\x7f\xc3\xb8</country></city>\n</current>";
  run_result r = run_against(reply(content_length_response(doc)), {"-D"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, 14 + doc.size() + 1),
            "Raw XML data:\n" + doc + "\n");
  EXPECT_EQ(r.err,
            "\nHandling <current>\n\nHandling <city>\n  \nHandling "
            "<country>\n?2J?OK?L?\xc3\xb8\nHandling </country>\n\nHandling "
            "</city>\n\nHandling </current>\n");
}

TEST(ReportE2E, ReportThatCannotBeWrittenIsAFailure) {
  script_server server(reply(content_length_response(sample(3003))));
  temp_file conf(config_for_port(server.port()));
  run_options full;
  full.stdout_path = "/dev/full";
  run_result r = run_tavik_argv({"tavik", "-c", conf.path()}, full);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tavik: cannot write the report to standard output\n");
}

// A name longer than any buffer the diagnostics use is printed whole, and
// nothing but the name, ": ", the message and a newline comes out.
TEST(ReportE2E, LongProgramNameIsPrintedWhole) {
  // Under memcheck the binary runs through a link named after argv[0], and
  // no file name is this long. The sanitizer build runs it; under memcheck
  // ConfigE2E's long path still takes the diagnostic's heap buffer.
  if (getenv("TAVIK_VALGRIND_LOG_DIR") != nullptr)
    GTEST_SKIP() << "a name this long cannot run under memcheck";
  for (size_t length : {600, 5000}) {
    const std::string name(length, 'T'), lower(length, 't');
    run_result r = run_tavik({"-x"}, "/usr/bin/" + name);
    EXPECT_EQ(r.status, 1) << length;
    EXPECT_EQ(r.err, lower + ": invalid flag -x\n") << length;
    r = run_tavik({"-c", "/no/such/file"}, name);
    EXPECT_EQ(r.err,
              lower +
                  ": config: cannot open configuration file /no/such/file\n" +
                  lower + ": 1 configuration error\n")
        << length;
    r = run_tavik({"-h"}, name);
    EXPECT_EQ(r.status, 0) << length;
    EXPECT_EQ(r.err.substr(0, length + 18), lower + ": Weather utility\n")
        << length;
  }
}

// Started with a standard descriptor closed, tavik must not let the
// configuration file or the socket take its number: a diagnostic or the
// report would then go to the weather server.
TEST(ReportE2E, ClosedStandardDescriptorsSendNothingToTheServer) {
  const std::string request_end = "Connection: close\r\n\r\n";
  const struct {
    int closed;
    std::string response;
    int status;
    const char *out;
    const char *err;
  } cases[] = {
      {0, content_length_response(sample(3003)), 0, kMillbrookReport, ""},
      // The report went to /dev/null in place of the closed descriptor:
      // not written, so not a success, as for a full disk.
      {1, content_length_response(sample(3003)), 1, "",
       "tavik: cannot write the report to standard output\n"},
      {1, "HTTP/1.1 404 Not Found\r\n\r\n", 1, "",
       "tavik: server response was 404 (Not Found)\n"
       "tavik: failed to get weather\n"},
      {2, "HTTP/1.1 404 Not Found\r\n\r\n", 1, "", ""},
  };
  for (const auto &c : cases) {
    server_script script = reply(c.response);
    script.record_to_close = true;
    script_server server(script);
    temp_file conf(config_for_port(server.port()));
    run_options closed;
    closed.closed_fd = c.closed;
    run_result r = run_tavik_argv({"tavik", "-c", conf.path()}, closed);
    EXPECT_EQ(r.status, c.status) << "closed " << c.closed;
    EXPECT_EQ(r.out, c.out) << "closed " << c.closed;
    EXPECT_EQ(r.err, c.err) << "closed " << c.closed;
    std::string request = server.request();
    ASSERT_GE(request.size(), request_end.size()) << "closed " << c.closed;
    EXPECT_EQ(request.substr(request.size() - request_end.size()), request_end)
        << "closed " << c.closed << ": the server received " << request;
  }
}

// The server paces its bytes so that a CR LF pair and a chunk straddle the
// client's receives.
TEST(ReportE2E, PacedServerStillGivesTheWholeDocument) {
  const std::string doc = sample(2002);
  const std::string whole = chunked_response(doc, 64);
  server_script s;
  size_t cut = whole.find("\r\n\r\n") + 1;  // between CR and LF
  s.segments.push_back({whole.substr(0, cut), 30});
  size_t chunk = whole.find("\r\n", cut + 10) + 1;  // inside a chunk line end
  s.segments.push_back({whole.substr(cut, chunk - cut), 30});
  s.segments.push_back({whole.substr(chunk), 0});
  run_result r = run_against(s, {"-z"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "Troms\xC3\xB8@NO@18.96@E@69.65@N@2026-12-10@00:00:00@2026-12-10@"
            "00:00:00@Celsius@-6@-8@-4@86@%@998@mbar@km/h@14.8@Gentle Breeze@"
            "0.0@190@S@South@90%@overcast clouds@3500@metres@snow@1@mm@"
            "2026-12-10@05:10:00@\n");
}

// A socket numbered past FD_SETSIZE cannot be waited on with select; its
// wait still counts the time limit in seconds, so an answer that comes half
// a second after the request is read, not taken for a silence.
TEST(ReportE2E, SocketPastTheSelectLimitWaitsWholeSeconds) {
  const int open_through = FD_SETSIZE;
  const std::string why = allow_descriptors_through(open_through);
  if (!why.empty()) GTEST_SKIP() << why;
  server_script script;
  script.segments.push_back({"", 500});
  script.segments.push_back({content_length_response(sample(3003)), 0});
  script_server server(script);
  temp_file conf(config_for_port(server.port()));
  run_options options;
  options.open_through = open_through;
  run_result r = run_tavik_argv({"tavik", "-c", conf.path()}, options);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, kMillbrookReport);
  EXPECT_EQ(r.status, 0);
}

// A URL without a port connects to the http service's port, 80: in a user
// and network namespace of the test's own, where it may be bound.
TEST(ReportE2E, UrlWithoutAPortConnectsToPort80) {
#ifndef PORT80_LAUNCHER
  GTEST_SKIP() << "no way here to bind port 80 in a network of the test's own";
#else
  if (getenv("TAVIK_VALGRIND_LOG_DIR") != nullptr)
    GTEST_SKIP() << "a launched run cannot run under memcheck";
  temp_file response(content_length_response(sample(3003)), "response");
  temp_file request("", "request");
  temp_file conf(
      "URL http://127.0.0.1/data/current?id=$l&units=$u&appid=$a\n"
      "APPID key\nLOCATION 3003\n");
  run_result r = run_tavik_launched(
      {PORT80_LAUNCHER, response.path(), request.path()}, {"-c", conf.path()});
  if (r.status == 77 && r.out.empty())
    GTEST_SKIP() << "namespaces are not allowed here: " << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, kMillbrookReport);
  EXPECT_EQ(r.status, 0);
  std::ifstream sent(request.path(), std::ios::binary);
  std::string line;
  std::getline(sent, line);
  EXPECT_EQ(line,
            "GET /data/current?id=3003&units=metric&appid=key HTTP/1.1\r");
#endif
}

}  // namespace
