// The sample server's documents.
#include "sample_docs.h"

#include <stdio.h>

namespace {

struct place {
  long id;
  const char *city;
  const char *country;
  double lon, lat;
  const char *rise, *set;
  double temp_c, min_c, max_c;  // Celsius
  int humidity, pressure;
  double wind_ms, gusts_ms;  // metres per second; 0 gusts: none reported
  const char *speed_name;
  int dir;
  const char *dir_code, *dir_name;
  int clouds;
  const char *clouds_name;
  int visibility;    // metres
  double precip_mm;  // < 0: mode "no" and no value
  const char *precip_mode;
  const char *updated;
};

// One record a few lines, in the order of the fields.
// clang-format off
const place places[] = {
    {1001, "Harbourview", "NZ", 174.78, -41.29, "2026-12-09T16:52:10",
     "2026-12-10T07:41:55", 17.4, 15.0, 19.2, 72, 1012, 9.3, 14.4,
     "Fresh Breeze", 340, "NNW", "North-northwest", 40, "scattered clouds",
     10000, -1, "no", "2026-12-10T05:20:00"},
    {2002, "Tromsø", "NO", 18.96, 69.65, "2026-12-10T00:00:00",
     "2026-12-10T00:00:00", -6.2, -8.0, -4.5, 86, 998, 4.1, 0,
     "Gentle Breeze", 190, "S", "South", 90, "overcast clouds", 3500, 0.6,
     "snow", "2026-12-10T05:10:00"},
    {3003, "Millbrook", "US", -89.65, 39.80, "2026-12-10T13:02:44",
     "2026-12-10T22:31:09", 3.8, 1.1, 6.0, 64, 1021, 2.6, 0,
     "Light breeze", 250, "WSW", "West-southwest", 75, "broken clouds", 16093,
     2.4, "rain", "2026-12-10T05:25:00"},
};
// clang-format on

}  // namespace

const char *sample_locations(void) { return "1001, 2002, 3003"; }

bool sample_document(long location, const std::string &units,
                     std::string *doc) {
  const place *p = nullptr;
  for (const place &candidate : places)
    if (candidate.id == location) p = &candidate;
  if (p == nullptr) return false;

  bool imperial = units == "imperial";
  auto temp = [&](double c) { return imperial ? c * 9 / 5 + 32 : c; };
  auto speed = [&](double ms) { return imperial ? ms * 2.2369 : ms; };
  const char *temp_unit = imperial ? "fahrenheit" : "celsius";

  char gusts[64] = "";
  if (p->gusts_ms > 0)
    snprintf(gusts, sizeof gusts, "<gusts value=\"%.1f\"/>",
             speed(p->gusts_ms));
  char precip[96];
  if (p->precip_mm < 0)
    snprintf(precip, sizeof precip, "<precipitation mode=\"%s\"/>",
             p->precip_mode);
  else
    snprintf(precip, sizeof precip,
             "<precipitation value=\"%.1f\" mode=\"%s\"/>", p->precip_mm,
             p->precip_mode);

  char buf[2048];
  snprintf(
      buf, sizeof buf,
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<current>\n"
      "  <city id=\"%ld\" name=\"%s\">\n"
      "    <coord lon=\"%.2f\" lat=\"%.2f\"/>\n"
      "    <country>%s</country>\n"
      "    <timezone>0</timezone>\n"
      "    <sun rise=\"%s\" set=\"%s\"/>\n"
      "  </city>\n"
      "  <temperature value=\"%.2f\" min=\"%.2f\" max=\"%.2f\" unit=\"%s\"/>\n"
      "  <feels_like value=\"%.2f\" unit=\"%s\"/>\n"
      "  <humidity value=\"%d\" unit=\"%%\"/>\n"
      "  <pressure value=\"%d\" unit=\"hPa\"/>\n"
      "  <wind>\n"
      "    <speed value=\"%.1f\" unit=\"%s\" name=\"%s\"/>\n"
      "    %s\n"
      "    <direction value=\"%d\" code=\"%s\" name=\"%s\"/>\n"
      "  </wind>\n"
      "  <clouds value=\"%d\" name=\"%s\"/>\n"
      "  <visibility value=\"%d\"/>\n"
      "  %s\n"
      "  <weather number=\"800\" value=\"%s\" icon=\"01d\"/>\n"
      "  <lastupdate value=\"%s\"/>\n"
      "</current>\n",
      p->id, p->city, p->lon, p->lat, p->country, p->rise, p->set,
      temp(p->temp_c), temp(p->min_c), temp(p->max_c), temp_unit,
      temp(p->temp_c - 2), temp_unit, p->humidity, p->pressure,
      speed(p->wind_ms), imperial ? "mph" : "m/s", p->speed_name, gusts, p->dir,
      p->dir_code, p->dir_name, p->clouds, p->clouds_name, p->visibility,
      precip, p->clouds_name, p->updated);
  *doc = buf;
  return true;
}
