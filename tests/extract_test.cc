// The weather document state machine.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string.h>

#include <expat.h>

#include "parse/extract.h"
#include "samples.h"

namespace {

int fatal_calls;
void count_fatal(int status) {
  EXPECT_EQ(status, 1);
  fatal_calls++;
}

struct parsed {
  weather w;
  std::string err;
  int fatal = 0;
};

parsed parse(const std::string &doc, int debug = 0) {
  static run_settings s;
  s = run_settings();
  s.debug = debug;
  parsed p;
  memset(&p.w, 0x5a, sizeof p.w);
  fatal_calls = 0;
  fatal_hook = count_fatal;
  testing::internal::CaptureStderr();
  extract_data(doc.data(), (int)doc.size(), &s, &p.w);
  p.err = testing::internal::GetCapturedStderr();
  fatal_hook = nullptr;
  p.fatal = fatal_calls;
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

TEST(Extract, FillsTheRecord) {
  parsed p = parse(kFull);
  const weather &w = p.w;
  EXPECT_EQ(p.err, "");
  EXPECT_EQ(w.ok, 1);
  EXPECT_STREQ(w.city, "Millbrook");
  EXPECT_STREQ(w.country, "US");
  EXPECT_FLOAT_EQ(w.longitude, -89.65f);
  EXPECT_FLOAT_EQ(w.latitude, 39.8f);
  EXPECT_STREQ(w.sunrise, "2026-12-10T13:02:44");
  EXPECT_STREQ(w.sunset, "2026-12-10T22:31:09");
  EXPECT_EQ(w.temperature, 3);
  EXPECT_EQ(w.temp_min, -1);
  EXPECT_EQ(w.temp_max, 6);
  EXPECT_STREQ(w.temp_unit, "celsius");
  EXPECT_EQ(w.humidity, 64);
  EXPECT_STREQ(w.humidity_unit, "%");
  EXPECT_EQ(w.pressure, 1021);
  EXPECT_STREQ(w.pressure_unit, "hPa");
  EXPECT_FLOAT_EQ(w.wind_speed, 4.1f);
  EXPECT_FLOAT_EQ(w.gusts, 7.5f);
  EXPECT_STREQ(w.speed_name, "Gentle Breeze");
  EXPECT_EQ(w.wind_dir, 250);
  EXPECT_STREQ(w.wind_dir_code, "WSW");
  EXPECT_STREQ(w.wind_dir_name, "West-southwest");
  EXPECT_EQ(w.clouds, 75);
  EXPECT_STREQ(w.clouds_name, "broken clouds");
  EXPECT_EQ(w.visibility, 16093);
  EXPECT_FLOAT_EQ(w.precipitation, 2.4f);
  EXPECT_STREQ(w.precip_mode, "rain");
  EXPECT_STREQ(w.last_update, "2026-12-10T05:25:00");
}

void expect_initial(const weather &w) {
  EXPECT_STREQ(w.city, "UNKNOWN");
  EXPECT_STREQ(w.country, "UNKNOWN");
  EXPECT_EQ(w.longitude, 0.0f);
  EXPECT_EQ(w.latitude, 0.0f);
  EXPECT_STREQ(w.sunrise, "");
  EXPECT_STREQ(w.sunset, "");
  EXPECT_STREQ(w.last_update, "");
  EXPECT_EQ(w.temperature, 0);
  EXPECT_EQ(w.humidity, 0);
  EXPECT_STREQ(w.humidity_unit, "");
  EXPECT_STREQ(w.pressure_unit, "");
  EXPECT_EQ(w.gusts, 0.0f);
  EXPECT_STREQ(w.speed_name, "");
  EXPECT_STREQ(w.wind_dir_code, "");
  EXPECT_EQ(w.visibility, 0);
  EXPECT_EQ(w.precipitation, -1.0f);
  EXPECT_STREQ(w.precip_mode, "");
}

TEST(Extract, DocumentWithoutKnownElementsLeavesTheRecordInitialised) {
  parsed p = parse("<weather><place name=\"x\"/>text</weather>");
  EXPECT_EQ(p.w.ok, 1);
  expect_initial(p.w);
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
      {"12.7", 12, 12.7f},  {"-3.9", -3, -3.9f},  {"", 0, 0.0f},
      {"abc", 0, 0.0f},     {" 42x", 42, 42.0f},  {"+7", 7, 7.0f},
      {"1e3", 1, 1000.0f},  {"4294967301", 5, 4294967301.0f},
      {"&#x31;5", 15, 15.0f},
  };
  for (const auto &c : cases) {
    parsed p = parse(std::string("<current><humidity value=\"") + c.value +
                     "\"/><wind><speed value=\"" + c.value +
                     "\"/></wind></current>");
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
      {"<current><current/></current>", "tavik: fatal - moving from state 1, not 0\n"},
      {"<current><speed/></current>", "tavik: fatal - moving from state 1, not 9\n"},
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
    EXPECT_EQ(p.w.ok, 0) << c.doc;
    EXPECT_EQ(p.err, c.err) << c.doc;
  }
}

TEST(Extract, CountryGathersUpTo200Bytes) {
  const std::string b200(200, 'c');
  parsed exact = parse("<current><city><country>" + b200 + "</country></city></current>");
  EXPECT_EQ(exact.err, "");
  EXPECT_STREQ(exact.w.country, "ccccccccccc");  // 11 bytes fit the field

  parsed over = parse("<current><city><country>" + b200 + "x" + b200 +
                      "</country><country>" + b200 + "y</country></city></current>");
  EXPECT_EQ(over.err, "tavik: country text truncated\n"
                      "tavik: country text truncated\n");
  EXPECT_EQ(over.w.ok, 1);

  parsed empty = parse("<current><city><country></country></city></current>");
  EXPECT_STREQ(empty.w.country, "");

  // Runs split by references are joined in order.
  parsed split = parse("<current><city><country>N&amp;Z&#x41;</country></city></current>");
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
  parsed q = parse("<current><city><country>abcdefghij\xE2\x82\xAC</country></city></current>");
  EXPECT_STREQ(q.w.country, "abcdefghij");
}

TEST(Extract, DebugTraceEchoesElementsAndLongerRuns) {
  parsed p = parse("<current>\n<city name=\"a\">ab<country>NZ</country>x</city></current>", 1);
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
    bool big_endian;
    const char16_t *declaration;
    const char16_t *split;  // holds "<a" inside a character in this order
  } cases[] = {
      {false, u"", u"\u3C61a"},
      {true, u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n", u"\u613C\u6161"},
  };
  for (const auto &c : cases) {
    std::u16string text = c.declaration;
    text += u"<current><city name=\"Z\u00FCrich\"><country>CH</country></city>";
    while (text.size() < (600u << 10))
      text += u"<x n=\"\u00E9\">t\u00FC \U0001F600 &amp;b" + std::u16string(c.split) +
              u" <![CDATA[<y/>]]>\r\n</x><y/>";
    const std::string doc = utf16(text + u"</current>\n", c.big_endian);
    ASSERT_GT(doc.size(), 1u << 20);
    parsed p = parse(doc, 1);
    EXPECT_EQ(p.w.ok, 1) << c.big_endian;
    EXPECT_STREQ(p.w.city, "Z\xC3\xBCrich") << c.big_endian;
    EXPECT_STREQ(p.w.country, "CH") << c.big_endian;
    const std::string expected = one_call_trace(doc);
    EXPECT_TRUE(p.err == expected)  // each is over 1 MB: no dump
        << c.big_endian << ": " << p.err.size() << " bytes of trace, "
        << expected.size() << " expected";
  }
}

}  // namespace
