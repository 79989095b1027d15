// Unit normalisation and the two forms of output.
#include <gtest/gtest.h>
#include <math.h>

#include <string>

#include "capture.h"
#include "parse/extract.h"
#include "report/report.h"

namespace {

// A record as the parse leaves it for the worked example: metric values
// with a ten-character date, a T and a time in each stamp.
weather example() {
  weather w;
  std::string doc =
      "<current><city name=\"Millbrook\"><coord lon=\"-89.65\" lat=\"39.80\"/>"
      "<country>US</country><sun rise=\"2026-12-10T13:02:44\" "
      "set=\"2026-12-10T22:31:09\"/></city>"
      "<temperature value=\"3\" min=\"1\" max=\"6\" unit=\"celsius\"/>"
      "<humidity value=\"64\" unit=\"%\"/><pressure value=\"1021\" "
      "unit=\"hPa\"/>"
      "<wind><speed value=\"4.1\" name=\"Gentle Breeze\"/>"
      "<direction value=\"250\" code=\"WSW\" name=\"West-southwest\"/></wind>"
      "<clouds value=\"75\" name=\"broken clouds\"/><visibility "
      "value=\"10000\"/>"
      "<precipitation mode=\"no\"/><lastupdate value=\"2026-12-10T05:25:00\"/>"
      "</current>";
  extract_data(doc.data(), (int)doc.size(), 0, &w);
  EXPECT_EQ(w.ok, 1);
  return w;
}

// w after massage_weather with the given units.
weather massaged(weather w, int units) {
  run_settings s{};
  s.units = units;
  massage_weather(&s, &w);
  return w;
}

std::string print(weather w, int units, int compressed, char delimiter = '@') {
  run_settings s{};
  s.units = units;
  s.compressed = compressed;
  s.delimiter = delimiter;
  w = massaged(w, units);
  return capture_stdout([&] { print_weather(&s, &w); });
}

TEST(Report, MetricText) {
  EXPECT_EQ(print(example(), UNITS_METRIC, 0),
            "City:\t\tMillbrook (US)\n"
            "Longitude:\t89.65W\n"
            "Latitude:\t39.80N\n"
            "Sunrise:\t2026-12-10T13:02:44\n"
            "Sunset\t\t2026-12-10T22:31:09\n"
            "Temperature:\t3 Celsius (min 1, max 6)\n"
            "Humidity:\t64%\n"
            "Pressure:\t1021 mbar\n"
            "Wind:\t\t14.8 km/h (Gentle Breeze)\n"
            "Wind direction:\t250 (WSW) (West-southwest)\n"
            "Clouds:\t\t75% (broken clouds)\n"
            "Visibility:\t10000 metres\n"
            "Precipitation:\tno\n"
            "Last update:\t2026-12-10T05:25:00\n");
}

TEST(Report, MetricLine) {
  EXPECT_EQ(print(example(), UNITS_METRIC, 1),
            "Millbrook@US@89.65@W@39.80@N@2026-12-10@13:02:44@2026-12-10@"
            "22:31:09@Celsius@3@1@6@64@%@1021@mbar@km/h@14.8@Gentle Breeze@"
            "0.0@250@WSW@West-southwest@75%@broken clouds@10000@metres@no@-1@"
            "mm@2026-12-10@05:25:00@\n");
}

TEST(Report, ImperialTextWithGustsAndPrecipitation) {
  weather w = example();
  w.wind_speed = 10;
  w.gusts = 22.5f;
  w.precipitation = 12.7f;
  strcpy(w.precip_mode, "RAIN");
  w.visibility = 900;
  EXPECT_EQ(print(w, UNITS_IMPERIAL, 0),
            "City:\t\tMillbrook (US)\n"
            "Longitude:\t89.65W\n"
            "Latitude:\t39.80N\n"
            "Sunrise:\t2026-12-10T13:02:44\n"
            "Sunset\t\t2026-12-10T22:31:09\n"
            "Temperature:\t3 Fahrenheit (min 1, max 6)\n"
            "Humidity:\t64%\n"
            "Pressure:\t1021 mbar\n"
            "Wind:\t\t10.0 mph (Gentle Breeze)\n"
            "Gusts:\t\t22.5 mph\n"
            "Wind direction:\t250 (WSW) (West-southwest)\n"
            "Clouds:\t\t75% (broken clouds)\n"
            "Visibility:\t984 yards\n"
            "Precipitation:\tRAIN 0 in\n"
            "Last update:\t2026-12-10T05:25:00\n");
}

TEST(Report, EmptyTextsAndShortStamps) {
  weather w = example();
  w.wind_dir_code[0] = '\0';
  w.precip_mode[0] = '\0';
  strcpy(w.sunrise, "short");
  strcpy(w.sunset, "2026-12-10");  // exactly ten characters
  w.last_update[0] = '\0';
  std::string text = print(w, UNITS_METRIC, 0);
  EXPECT_NE(text.find("Wind direction:\t250 (West-southwest)\n"),
            std::string::npos);
  EXPECT_NE(text.find("Precipitation:\t -1 mm\n"), std::string::npos);
  EXPECT_NE(text.find("Last update:\t\n"), std::string::npos);
  w.wind_dir_name[0] = '\0';
  EXPECT_EQ(print(w, UNITS_METRIC, 1, ' '),
            "Millbrook US 89.65 W 39.80 N short 2026-12-10  Celsius 3 1 6 64 % "
            "1021 mbar km/h 14.8 Gentle Breeze 0.0 250   75% broken clouds "
            "10000 metres  -1 mm  \n");
  EXPECT_NE(print(w, UNITS_METRIC, 0).find("Wind direction:\t250\n"),
            std::string::npos);
}

// The lines that come and go with the record's values.
TEST(Report, OptionalPartsOfTextLines) {
  const struct {
    const char *name;
    float gusts;
    const char *mode;
    std::string gusts_line;  // empty: none
    std::string precipitation_line;
  } cases[] = {
      {"no gusts, no precipitation", 0, "no", "", "Precipitation:\tno\n"},
      {"negative zero gusts", -0.0f, "NO", "", "Precipitation:\tNO\n"},
      {"negative gusts", -3, "No", "Gusts:\t\t-10.8 km/h\n",
       "Precipitation:\tNo\n"},
      {"gusts and snow", 2, "snow", "Gusts:\t\t7.2 km/h\n",
       "Precipitation:\tsnow -1 mm\n"},
      {"mode that only starts with no", 0, "non", "",
       "Precipitation:\tnon -1 mm\n"},
  };
  for (const auto &c : cases) {
    weather w = example();
    w.gusts = c.gusts;
    strcpy(w.precip_mode, c.mode);
    std::string text = print(w, UNITS_METRIC, 0);
    const std::string wind = "Wind:\t\t14.8 km/h (Gentle Breeze)\n";
    EXPECT_NE(text.find(wind + c.gusts_line + "Wind direction:"),
              std::string::npos)
        << c.name;
    EXPECT_NE(text.find("\n" + c.precipitation_line + "Last update:"),
              std::string::npos)
        << c.name;
  }
}

// With -z a stamp is two values, date and time. A separator at index 10
// gives way to the delimiter; any other character there is kept, with the
// delimiter put before the whole character that holds that byte.
TEST(Report, LineSplitsStampsKeepingEveryCharacter) {
  const struct {
    const char *name;
    const char *stamp;
    const char *values;  // with '@' as the delimiter
  } cases[] = {
      {"ISO, T", "2026-12-10T05:25:00", "2026-12-10@05:25:00@"},
      {"ISO, t", "2026-12-10t05:25:00", "2026-12-10@05:25:00@"},
      {"blank", "2026-12-10 05:25:00", "2026-12-10@05:25:00@"},
      {"digit", "Dec 10 2026 05:25", "Dec 10 202@6 05:25@"},
      {"letter", "2026-12-10Z05:25", "2026-12-10@Z05:25@"},
      {"two bytes from index 9",
       "2026-12-1\xc3\x9b"
       "31m",
       "2026-12-1@\xc3\x9b"
       "31m@"},
      {"two bytes from index 10",
       "2026-12-10\xc3\x9b"
       "31m",
       "2026-12-10@\xc3\x9b"
       "31m@"},
      {"three bytes from index 9",
       "2026-12-1\xe2\x80\xa6"
       "05",
       "2026-12-1@\xe2\x80\xa6"
       "05@"},
      {"eleven characters", "2026-12-10X", "2026-12-10@X@"},
      {"ten characters", "2026-12-10", "2026-12-10@@"},
      {"shorter", "10 Dec", "10 Dec@"},
  };
  for (const auto &c : cases) {
    weather w = example();
    strcpy(w.sunrise, c.stamp);
    strcpy(w.sunset, c.stamp);
    strcpy(w.last_update, c.stamp);
    const std::string line = print(w, UNITS_METRIC, 1);
    const std::string values = c.values;
    EXPECT_EQ(line.substr(0, 29 + 2 * values.size()),
              "Millbrook@US@89.65@W@39.80@N@" + values + values)
        << c.name;
    EXPECT_EQ(line.substr(line.size() - values.size() - 1), values + "\n")
        << c.name;
  }
  // The widest stamps the record holds keep their last character too.
  weather w = example();
  strcpy(w.sunset, "Thursday, 10 December 2026 0525");
  strcpy(w.last_update, "Thursday, 10 December 2026 0525");
  ASSERT_EQ(strlen(w.last_update), sizeof w.last_update - 1);
  const std::string line = print(w, UNITS_METRIC, 1);
  EXPECT_NE(line.find("@Thursday, @10 December 2026 0525@Celsius@"),
            std::string::npos);
  const std::string last = "@mm@Thursday, @10 December 2026 0525@\n";
  EXPECT_EQ(line.substr(line.size() - last.size()), last);
}

TEST(Normalise, ConvertsExactly) {
  const struct {
    float speed;
    float kmh;
  } speeds[] = {{10, 36}, {4.1f, 14.76f}, {0, 0}, {-2.5f, -9}};
  for (const auto &c : speeds) {
    weather w = example();
    w.wind_speed = c.speed;
    w.gusts = c.speed;
    w = massaged(w, UNITS_METRIC);
    EXPECT_EQ(w.wind_speed, c.kmh);
    EXPECT_EQ(w.gusts, c.kmh);
    EXPECT_STREQ(w.speed_unit, "km/h");
  }
  const struct {
    int metres, yards;
  } vis[] = {{0, 0},
             {100, 109},
             {900, 984},
             {1, 1},
             {-100, -109},
             {2147483647, 2147483647},
             {-2147483647 - 1, -2147483647 - 1},
             {1000000, 1093611},
             {545460, 596521},
             {545461, 596522}};
  for (const auto &c : vis) {
    weather w = example();
    w.visibility = c.metres;
    EXPECT_EQ(massaged(w, UNITS_IMPERIAL).visibility, c.yards) << c.metres;
    EXPECT_EQ(massaged(w, UNITS_METRIC).visibility, c.metres);
  }
  const struct {
    float mm, in;
  } rain[] = {{25.4f, 1.0f}, {12.7f, 0.5f}, {-1.0f, -1.0f}, {0, 0}};
  for (const auto &c : rain) {
    weather w = example();
    w.precipitation = c.mm;
    weather imperial = massaged(w, UNITS_IMPERIAL);
    EXPECT_FLOAT_EQ(imperial.precipitation, c.in);
    EXPECT_STREQ(imperial.precip_unit, "in");
    EXPECT_STREQ(imperial.visibility_unit, "yards");
    EXPECT_EQ(massaged(w, UNITS_METRIC).precipitation, c.mm);
  }
}

TEST(Normalise, PressureUnitAndHemispheres) {
  const char *units[][2] = {{"hPa", "mbar"}, {"HPA", "mbar"}, {"hpa", "mbar"},
                            {"", ""},        {"kPa", "kPa"},  {"hPa ", "hPa "}};
  for (auto &u : units) {
    weather w = example();
    strcpy(w.pressure_unit, u[0]);
    EXPECT_STREQ(massaged(w, UNITS_IMPERIAL).pressure_unit, u[1]);
  }
  const struct {
    float value, magnitude;
    const char *lon, *lat;
  } coords[] = {{-0.13f, 0.13f, "W", "S"},
                {0.0f, 0.0f, "E", "N"},
                {-0.0f, -0.0f, "E", "N"},
                {33.87f, 33.87f, "E", "N"}};
  for (const auto &c : coords) {
    weather w = example();
    w.longitude = w.latitude = c.value;
    w = massaged(w, UNITS_METRIC);
    EXPECT_EQ(w.longitude, c.magnitude);
    EXPECT_EQ(signbit(w.longitude), signbit(c.magnitude));
    EXPECT_STREQ(w.lon_dir, c.lon);
    EXPECT_STREQ(w.lat_dir, c.lat);
  }
  weather w = example();
  w.longitude = NAN;
  EXPECT_STREQ(massaged(w, UNITS_METRIC).lon_dir, "W");
}

// Units other than the two end the run with status 1 and the message.
TEST(Normalise, BadUnitsAreFatal) {
  for (int units : {0, 3, -1}) {
    weather w = example();
    run_settings s{};
    s.units = units;
    EXPECT_EXIT(massage_weather(&s, &w), ::testing::ExitedWithCode(1),
                "^tavik:  bad units type " + std::to_string(units) +
                    " in massage_weather\n$");
  }
}

}  // namespace
