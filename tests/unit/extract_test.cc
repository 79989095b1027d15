// The weather document state machine.
#include <gtest/gtest.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <expat.h>

#include "capture.h"
#include "parse/elements.h"
#include "parse/extract.h"
#include "run_tavik.h"
#include "samples.h"

namespace {

struct parsed {
  weather w;
  std::string err;
  int fatal = 0;  // 1 when the parse ended the run with status 1
};

// Parses doc in a child of its own, as a run would: a wrongly nested
// document ends the child, and the parent sees its status and stderr. The
// record comes back through a pipe; it is filled with 0x5a beforehand, so
// that a field the parse forgot to set shows.
parsed parse(const std::string &doc, int debug = 0) {
  parsed p;
  memset(&p.w, 0x5a, sizeof p.w);
  int rec[2], err[2];
  if (pipe(rec) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
  fflush(stdout);
  fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(err[1], STDERR_FILENO);
    close(err[0]);
    close(err[1]);
    close(rec[0]);
    weather w;
    memset(&w, 0x5a, sizeof w);
    extract_data(doc.data(), (int)doc.size(), debug, &w);
    ssize_t n = write(rec[1], &w, sizeof w);
    _exit(n == (ssize_t)sizeof w ? 0 : 3);
  }
  close(rec[1]);
  close(err[1]);
  std::string record;
  int fds[2] = {rec[0], err[0]};
  std::string *sinks[2] = {&record, &p.err};
  EXPECT_TRUE(read_until_closed(fds, sinks, 10)) << "the parse did not end";
  for (int fd : fds)
    if (fd >= 0) close(fd);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
      record.size() == sizeof p.w)
    memcpy(&p.w, record.data(), sizeof p.w);
  else if (WIFEXITED(status) && WEXITSTATUS(status) == 1 && record.empty())
    p.fatal = 1;
  else
    ADD_FAILURE() << "the parse ended with status " << status;
  return p;
}

const char kFull[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<current>\n"
    " <city id=\"9\" name=\"Millbrook\">\n"
    "  <coord lon=\"-89.65\" lat=\"39.8\"/>\n"
    "  <country>US</country>\n"
    "  <sun rise=\"2026-12-10T13:02:44\" set=\"2026-12-10T22:31:09\"/>\n"
    " </city>\n"
    " <temperature value=\"3.8\" min=\"-1.1\" max=\"6\" unit=\"celsius\"/>\n"
    " <humidity value=\"64\" unit=\"%\"/>\n"
    " <pressure value=\"1021\" unit=\"hPa\"/>\n"
    " <wind>\n"
    "  <speed value=\"4.1\" name=\"Gentle Breeze\"/>\n"
    "  <gusts value=\"7.5\"/>\n"
    "  <direction value=\"250\" code=\"WSW\" name=\"West-southwest\"/>\n"
    " </wind>\n"
    " <clouds value=\"75\" name=\"broken clouds\"/>\n"
    " <visibility value=\"16093\"/>\n"
    " <precipitation value=\"2.4\" mode=\"rain\"/>\n"
    " <lastupdate value=\"2026-12-10T05:25:00\"/>\n"
    "</current>\n";

// The record extract_data starts from: every number 0, every text empty,
// but city and country "UNKNOWN" and precipitation -1.
weather initial_record() {
  weather w = {};
  strcpy(w.city, "UNKNOWN");
  strcpy(w.country, "UNKNOWN");
  w.precipitation = -1.0f;
  return w;
}

// Every field of got but ok as in want, each named where it
// differs.
void expect_fields(const weather &got, const weather &want) {
  EXPECT_STREQ(got.city, want.city);
  EXPECT_STREQ(got.country, want.country);
  EXPECT_EQ(got.longitude, want.longitude);
  EXPECT_STREQ(got.lon_dir, want.lon_dir);
  EXPECT_EQ(got.latitude, want.latitude);
  EXPECT_STREQ(got.lat_dir, want.lat_dir);
  EXPECT_STREQ(got.sunrise, want.sunrise);
  EXPECT_STREQ(got.sunset, want.sunset);
  EXPECT_EQ(got.temperature, want.temperature);
  EXPECT_EQ(got.temp_min, want.temp_min);
  EXPECT_EQ(got.temp_max, want.temp_max);
  EXPECT_STREQ(got.temp_unit, want.temp_unit);
  EXPECT_EQ(got.humidity, want.humidity);
  EXPECT_STREQ(got.humidity_unit, want.humidity_unit);
  EXPECT_EQ(got.pressure, want.pressure);
  EXPECT_STREQ(got.pressure_unit, want.pressure_unit);
  EXPECT_EQ(got.wind_speed, want.wind_speed);
  EXPECT_STREQ(got.speed_unit, want.speed_unit);
  EXPECT_EQ(got.gusts, want.gusts);
  EXPECT_STREQ(got.speed_name, want.speed_name);
  EXPECT_EQ(got.wind_dir, want.wind_dir);
  EXPECT_STREQ(got.wind_dir_code, want.wind_dir_code);
  EXPECT_STREQ(got.wind_dir_name, want.wind_dir_name);
  EXPECT_EQ(got.clouds, want.clouds);
  EXPECT_STREQ(got.clouds_name, want.clouds_name);
  EXPECT_EQ(got.visibility, want.visibility);
  EXPECT_STREQ(got.visibility_unit, want.visibility_unit);
  EXPECT_EQ(got.precipitation, want.precipitation);
  EXPECT_STREQ(got.precip_mode, want.precip_mode);
  EXPECT_STREQ(got.precip_unit, want.precip_unit);
  EXPECT_STREQ(got.last_update, want.last_update);
}

// Every attribute the machine knows lands in its field, and no other field
// changes.
TEST(Extract, FillsTheRecord) {
  parsed p = parse(kFull);
  EXPECT_EQ(p.err, "");
  EXPECT_EQ(p.w.ok, 1);
  weather want = initial_record();
  strcpy(want.city, "Millbrook");
  strcpy(want.country, "US");
  want.longitude = -89.65f;
  want.latitude = 39.8f;
  strcpy(want.sunrise, "2026-12-10T13:02:44");
  strcpy(want.sunset, "2026-12-10T22:31:09");
  want.temperature = 3;
  want.temp_min = -1;
  want.temp_max = 6;
  strcpy(want.temp_unit, "celsius");
  want.humidity = 64;
  strcpy(want.humidity_unit, "%");
  want.pressure = 1021;
  strcpy(want.pressure_unit, "hPa");
  want.wind_speed = 4.1f;
  want.gusts = 7.5f;
  strcpy(want.speed_name, "Gentle Breeze");
  want.wind_dir = 250;
  strcpy(want.wind_dir_code, "WSW");
  strcpy(want.wind_dir_name, "West-southwest");
  want.clouds = 75;
  strcpy(want.clouds_name, "broken clouds");
  want.visibility = 16093;
  want.precipitation = 2.4f;
  strcpy(want.precip_mode, "rain");
  strcpy(want.last_update, "2026-12-10T05:25:00");
  expect_fields(p.w, want);
}

TEST(Extract, DocumentWithoutKnownElementsLeavesTheRecordInitialised) {
  parsed p = parse("<weather><place name=\"x\"/>text</weather>");
  EXPECT_EQ(p.w.ok, 1);
  // parse() fills the record with other bytes first, so no field is left
  // to the caller's zeroing.
  expect_fields(p.w, initial_record());
}

TEST(Extract, RejectedDocumentsGiveOkZero) {
  for (const char *doc : {"", "<current>", "<current><city></current>",
                          "not xml", "<a></b>", "<current/><current/>"}) {
    parsed p = parse(doc);
    EXPECT_EQ(p.w.ok, 0) << doc;
    EXPECT_EQ(p.fatal, 0) << doc;
    EXPECT_EQ(p.err, "") << doc;
  }
}

TEST(Extract, NamesMatchInAnyCase) {
  parsed p = parse(
      "<CURRENT><CITY NAME=\"Up\"><COUNTRY>UP</COUNTRY></CITY>"
      "<TEMPERATURE VALUE=\"5\"/><WIND><SPEED VALUE=\"2\"/></WIND>"
      "<LastUpdate Value=\"then\"/></CURRENT>");
  EXPECT_EQ(p.w.ok, 1);
  EXPECT_STREQ(p.w.city, "Up");
  EXPECT_STREQ(p.w.country, "UP");
  EXPECT_EQ(p.w.temperature, 5);
  EXPECT_FLOAT_EQ(p.w.wind_speed, 2.0f);
  EXPECT_STREQ(p.w.last_update, "then");
}

TEST(Extract, UnknownElementsAreTransparent) {
  parsed p = parse(
      "<envelope><body><current><meta><x><city name=\"Deep\"><info>"
      "<country>A<b>B</b>C</country></info></city></x></meta>"
      "<extra><wind><q><direction value=\"90\"/></q></wind></extra>"
      "</current></body></envelope>");
  EXPECT_EQ(p.w.ok, 1);
  EXPECT_EQ(p.fatal, 0);
  EXPECT_STREQ(p.w.city, "Deep");
  EXPECT_STREQ(p.w.country, "ABC");
  EXPECT_EQ(p.w.wind_dir, 90);
}

TEST(Extract, RepeatedElementsOverwrite) {
  parsed p = parse(
      "<current><temperature value=\"1\" min=\"-4\"/>"
      "<temperature value=\"2\"/><city><country>AA</country>"
      "<country>BB</country></city></current>");
  EXPECT_EQ(p.w.temperature, 2);
  EXPECT_EQ(p.w.temp_min, -4);
  EXPECT_STREQ(p.w.country, "BB");
}

TEST(Extract, ConvertsAttributes) {
  const struct {
    const char *value;
    int integer;
    float real;
  } cases[] = {
      {"12.7", 12, 12.7f},    {"-3.9", -3, -3.9f},
      {"", 0, 0.0f},          {"abc", 0, 0.0f},
      {" 42x", 42, 42.0f},    {"+7", 7, 7.0f},
      {"1e3", 1, 1000.0f},    {"4294967301", 5, 4294967301.0f},
      {"&#x31;5", 15, 15.0f}, {"08", 8, 8.0f},
  };
  for (const auto &c : cases) {
    parsed p =
        parse(std::string("<current><humidity value=\"") + c.value +
              "\"/><wind><speed value=\"" + c.value + "\"/></wind></current>");
    EXPECT_EQ(p.w.humidity, c.integer) << c.value;
    EXPECT_FLOAT_EQ(p.w.wind_speed, c.real) << c.value;
  }
}

TEST(Extract, MissingPrecipitationValueStaysMinusOne) {
  parsed p = parse("<current><precipitation mode=\"no\"/></current>");
  EXPECT_EQ(p.w.precipitation, -1.0f);
  EXPECT_STREQ(p.w.precip_mode, "no");
}

struct fatal_case {
  const char *doc;
  const char *err;
};

TEST(Extract, WrongNestingIsFatal) {
  const fatal_case cases[] = {
      {"<city/>", "tavik: fatal - moving from state 0, not 1\n"},
      {"<current><current/></current>",
       "tavik: fatal - moving from state 1, not 0\n"},
      {"<current><speed/></current>",
       "tavik: fatal - moving from state 1, not 9\n"},
      {"<current><city><country><sun/></country></city></current>",
       "tavik: fatal - moving from state 4, not 2\n"},
      {"<current><city><country><temperature/></country></city></current>",
       "tavik: fatal - moving from state 4, not 1\n"},
      {"<current><wind><speed><gusts/></speed></wind></current>",
       "tavik: fatal - moving from state 10, not 9\n"},
      {"<current><temperature><humidity/></temperature></current>",
       "tavik: fatal - moving from state 6, not 1\n"},
      {"<x><coord/></x>", "tavik: fatal - moving from state 0, not 2\n"},
  };
  for (const fatal_case &c : cases) {
    parsed p = parse(c.doc);
    EXPECT_EQ(p.fatal, 1) << c.doc;
    EXPECT_EQ(p.err, c.err) << c.doc;
  }
}

TEST(Extract, CountryGathersUpTo200Bytes) {
  const std::string b200(200, 'c');
  parsed exact =
      parse("<current><city><country>" + b200 + "</country></city></current>");
  EXPECT_EQ(exact.err, "");
  EXPECT_STREQ(exact.w.country, "ccccccccccc");  // 11 bytes fit the field

  parsed over =
      parse("<current><city><country>" + b200 + "x" + b200 +
            "</country><country>" + b200 + "y</country></city></current>");
  EXPECT_EQ(over.err,
            "tavik: country text truncated\n"
            "tavik: country text truncated\n");
  EXPECT_EQ(over.w.ok, 1);

  parsed empty = parse("<current><city><country></country></city></current>");
  EXPECT_STREQ(empty.w.country, "");

  // Runs split by references are joined in order.
  parsed split =
      parse("<current><city><country>N&amp;Z&#x41;</country></city></current>");
  EXPECT_STREQ(split.w.country, "N&ZA");
}

TEST(Extract, LongTextsAreCutWithoutSplittingCharacters) {
  // "é" is two bytes; 99 bytes of city hold 49 of them and not half of
  // the 50th.
  std::string e50;
  for (int i = 0; i < 60; i++) e50 += "\xC3\xA9";
  parsed p = parse("<current><city name=\"" + e50 + "\"><country>" + e50 +
                   "</country></city><wind><direction code=\"" +
                   std::string(30, 'N') + "\"/></wind></current>");
  EXPECT_EQ(std::string(p.w.city), e50.substr(0, 98));
  EXPECT_EQ(std::string(p.w.country), e50.substr(0, 10));
  EXPECT_EQ(std::string(p.w.wind_dir_code), std::string(9, 'N'));
  // A three-byte character at the edge is dropped whole.
  parsed q = parse(
      "<current><city><country>abcdefghij\xE2\x82\xAC</country></city>"
      "</current>");
  EXPECT_STREQ(q.w.country, "abcdefghij");
}

TEST(Extract, DebugTraceEchoesElementsAndLongerRuns) {
  parsed p = parse(
      "<current>\n<city name=\"a\">ab<country>NZ</country>x</city></current>",
      1);
  EXPECT_EQ(p.err,
            "\nHandling <current>\n"
            "\nHandling <city>\n"
            "ab"
            "\nHandling <country>\n"
            "NZ"
            "\nHandling </country>\n"
            "\nHandling </city>\n"
            "\nHandling </current>\n");
}

// The trace is each parse's own choice: one parse's flag does not outlive
// it (a fuzzer, or a test, parses many times in one process).
TEST(Extract, ParseAfterATracedOneIsSilent) {
  parse("<current><city name=\"a\">ab</city></current>", 1);
  parsed p = parse("<current><city name=\"a\">ab</city></current>");
  EXPECT_EQ(p.w.ok, 1);
  EXPECT_EQ(p.err, "");
}

TEST(Extract, TraceOfOffendingElementComesBeforeItsFatalMessage) {
  parsed p = parse("<Current><City/><Speed/></Current>", 1);
  EXPECT_EQ(p.err,
            "\nHandling <Current>\n"
            "\nHandling <City>\n"
            "\nHandling </City>\n"
            "\nHandling <Speed>\n"
            "tavik: fatal - moving from state 1, not 9\n");
}

TEST(Extract, EntityExpansionBombIsRefused) {
  const std::string doc = entity_bomb_document();
  auto t0 = std::chrono::steady_clock::now();
  parsed p = parse(doc);
  EXPECT_EQ(p.w.ok, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

// An internal entity of about 1 KB referenced 70 times expands to about
// 70 KB: an ordinary document that expat's own limits accept, whether the
// expansion lands in an unknown element or in "Country".
TEST(Extract, ModerateEntityExpansionIsAccepted) {
  std::string text;
  while (text.size() < 1000) text += "all the weather that fits ";
  std::string refs;
  for (int i = 0; i < 70; i++) refs += "&w;";
  const std::string head =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE current [<!ENTITY w \"" + text +
      "\">]>\n<current><city name=\"Millbrook\">";
  const struct {
    const char *where;
    std::string doc;
    const char *country;
    const char *err;
  } cases[] = {
      {"unknown element",
       head + "<country>US</country><note>" + refs + "</note></city></current>",
       "US", ""},
      {"country", head + "<country>" + refs + "</country></city></current>",
       "all the wea", "tavik: country text truncated\n"},
  };
  for (const auto &c : cases) {
    parsed p = parse(c.doc);
    EXPECT_EQ(p.w.ok, 1) << c.where;
    EXPECT_EQ(p.fatal, 0) << c.where;
    EXPECT_EQ(p.err, c.err) << c.where;
    EXPECT_STREQ(p.w.city, "Millbrook") << c.where;
    EXPECT_STREQ(p.w.country, c.country) << c.where;
  }
}

// The document as UTF-16 bytes, with a byte order mark.
std::string utf16(const std::u16string &text, bool big_endian) {
  std::string out;
  for (char16_t u : u"\uFEFF" + text) {
    char hi = (char)(u >> 8), lo = (char)(u & 0xFF);
    out += big_endian ? hi : lo;
    out += big_endian ? lo : hi;
  }
  return out;
}

// The -D trace that one expat call over the whole document gives.
std::string one_call_trace(const std::string &doc) {
  std::string trace;
  XML_Parser p = XML_ParserCreate(nullptr);
  XML_SetUserData(p, &trace);
  XML_SetElementHandler(
      p,
      [](void *t, const XML_Char *name, const XML_Char **) {
        *(std::string *)t += std::string("\nHandling <") + name + ">\n";
      },
      [](void *t, const XML_Char *name) {
        *(std::string *)t += std::string("\nHandling </") + name + ">\n";
      });
  XML_SetCharacterDataHandler(p, [](void *t, const XML_Char *s, int len) {
    if (len >= 2) ((std::string *)t)->append(s, (size_t)len);
  });
  EXPECT_EQ(XML_Parse(p, doc.data(), (int)doc.size(), 1), XML_STATUS_OK);
  XML_ParserFree(p);
  return trace;
}

// A UTF-16 document over 1 MiB, in either byte order, fills the record and
// gives the -D trace of a single parse. Its text puts the bytes of "<a"
// across the middle of a character, right after a one-byte run ("b").
TEST(Extract, LargeUtf16DocumentTracesAsOneCall) {
  const struct {
    const char *name;
    bool big_endian;
    const char16_t *declaration;
    const char16_t *split;  // holds "<a" inside a character in this order
  } cases[] = {
      {"little-endian", false, u"", u"\u3C61a"},
      {"big-endian, declared", true,
       u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n", u"\u613C\u6161"},
  };
  for (const auto &c : cases) {
    std::u16string text = c.declaration;
    text += u"<current><city name=\"Z\u00FCrich\"><country>CH</country></city>";
    while (text.size() < (600u << 10))
      text += u"<x n=\"\u00E9\">t\u00FC \U0001F600 &amp;b" +
              std::u16string(c.split) + u" <![CDATA[<y/>]]>\r\n</x><y/>";
    const std::string doc = utf16(text + u"</current>\n", c.big_endian);
    ASSERT_GT(doc.size(), 1u << 20);
    parsed p = parse(doc, 1);
    EXPECT_EQ(p.w.ok, 1) << c.name;
    EXPECT_STREQ(p.w.city, "Z\xC3\xBCrich") << c.name;
    EXPECT_STREQ(p.w.country, "CH") << c.name;
    const std::string expected = one_call_trace(doc);
    EXPECT_TRUE(p.err == expected)  // each is over 1 MB: no dump
        << c.name << ": " << p.err.size() << " bytes of trace, "
        << expected.size() << " expected";
  }
}

// The manual's list of the document's elements is the parse's own table:
// the same elements in the same order, each inside the same parent and
// reading the same attributes.
TEST(Extract, ManualDescribesTheElementTable) {
  std::ifstream page(DOC_DIR "/tavik.1");
  ASSERT_TRUE(page.is_open());
  auto lower = [](std::string t) {
    for (char &c : t) c = (char)tolower((unsigned char)c);
    return t;
  };
  // Rows ".It element Ta inside Ta attributes Ta fills" of the list in
  // "The weather document", "\(em" for none, as one line each.
  std::vector<std::string> documented;
  std::string line;
  bool in_section = false, in_list = false;
  while (std::getline(page, line)) {
    if (line.rfind(".Ss ", 0) == 0 || line.rfind(".Sh ", 0) == 0)
      in_section = line == ".Ss The weather document";
    if (!in_section) continue;
    if (line.rfind(".Bl -column", 0) == 0) in_list = documented.empty();
    if (!in_list) continue;
    if (line == ".El") break;
    if (line.rfind(".It ", 0) != 0 || line.find(" Sy ") != std::string::npos)
      continue;
    std::vector<std::string> cols;
    std::string rest = line.substr(4) + " Ta ";
    for (size_t at; (at = rest.find(" Ta ")) != std::string::npos;) {
      cols.push_back(rest.substr(0, at) == "\\(em" ? "" : rest.substr(0, at));
      rest = rest.substr(at + 4);
    }
    ASSERT_EQ(cols.size(), 4u) << line;
    documented.push_back(cols[0] + " in " + cols[1] + ": " + cols[2]);
  }

  std::vector<std::string> parsed;
  for (size_t i = 0; i < element_count; i++) {
    const element_rule &e = elements[i];
    const char *parent = nullptr;
    for (size_t j = 0; j < element_count; j++)
      if (elements[j].state == e.required) parent = elements[j].name;
    std::string attrs;
    for (const attribute_rule &a : e.attrs)
      if (a.name != nullptr)
        attrs += (attrs.empty() ? "" : ", ") + lower(a.name);
    parsed.push_back(lower(e.name) + " in " + (parent ? lower(parent) : "") +
                     ": " + attrs);
  }
  EXPECT_EQ(documented, parsed);
}

}  // namespace
