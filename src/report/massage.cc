// Unit normalisation, in place.
#include <limits.h>
#include <stdint.h>
#include <string.h>
#include <strings.h>

#include "base/diag.h"
#include "report/report.h"

// Imperial visibility: metres * 3937 / 3600 in yards, truncated toward
// zero, computed exactly and clamped to the 32-bit range.
static int metres_to_yards(int metres) {
  int64_t yards = (int64_t)metres * 3937 / 3600;
  if (yards > INT_MAX) return INT_MAX;
  if (yards < INT_MIN) return INT_MIN;
  return (int)yards;
}

// Speeds stay in single precision: the product is rounded to float before
// the division, as the values have always been converted.
static float metres_per_second_to_kmh(float v) {
  float product = v * 3600.0f;
  return product / 1000.0f;
}

void massage_weather(const run_settings *s, weather *w) {
  if (s->units != UNITS_METRIC && s->units != UNITS_IMPERIAL) {
    report_error(" bad units type %d in massage_weather", s->units);
    fatal_exit(1);
  }
  if (strcasecmp(w->pressure_unit, "hPa") == 0)
    strcpy(w->pressure_unit, "mbar");
  if (s->units == UNITS_METRIC) {
    strcpy(w->temp_unit, "Celsius");
    w->wind_speed = metres_per_second_to_kmh(w->wind_speed);
    if (w->gusts != 0.0f) w->gusts = metres_per_second_to_kmh(w->gusts);
    strcpy(w->speed_unit, "km/h");
    strcpy(w->visibility_unit, "metres");
    strcpy(w->precip_unit, "mm");
  } else {
    strcpy(w->temp_unit, "Fahrenheit");
    strcpy(w->speed_unit, "mph");
    w->visibility = metres_to_yards(w->visibility);
    strcpy(w->visibility_unit, "yards");
    if (w->precipitation != -1.0f)
      w->precipitation = (float)((double)w->precipitation / 25.4);
    strcpy(w->precip_unit, "in");
  }
  if (w->longitude >= 0.0f) {
    strcpy(w->lon_dir, "E");
  } else {
    w->longitude = -w->longitude;
    strcpy(w->lon_dir, "W");
  }
  if (w->latitude >= 0.0f) {
    strcpy(w->lat_dir, "N");
  } else {
    w->latitude = -w->latitude;
    strcpy(w->lat_dir, "S");
  }
}
