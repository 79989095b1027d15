// The text report and the delimited line.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "report/report.h"

enum { STAMP_COPY_SIZE = 32, STAMP_SPLIT = 10 };

// Copies a timestamp and puts the delimiter at index 10, where a date of
// ten characters meets its time. A stamp of exactly ten characters gets
// the delimiter after it, so that date and (empty) time stay two fields; a
// shorter one is left as it is.
static void split_stamp(char *copy, const char *stamp, char delimiter) {
  size_t len = strlen(stamp);
  if (len > STAMP_COPY_SIZE - 1) len = STAMP_COPY_SIZE - 1;
  memcpy(copy, stamp, len);
  copy[len] = '\0';
  if (len > STAMP_SPLIT) {
    copy[STAMP_SPLIT] = delimiter;
  } else if (len == STAMP_SPLIT) {
    copy[STAMP_SPLIT] = delimiter;
    copy[STAMP_SPLIT + 1] = '\0';
  }
}

static void print_delimited(const run_settings *s, const weather *w) {
  char rise[STAMP_COPY_SIZE], set[STAMP_COPY_SIZE], update[STAMP_COPY_SIZE];
  char d = s->delimiter;
  split_stamp(rise, w->sunrise, d);
  split_stamp(set, w->sunset, d);
  split_stamp(update, w->last_update, d);
  printf("%s%c%s%c%.2f%c%s%c%.2f%c%s%c%s%c%s%c%s%c%d%c%d%c%d%c%d%c%s%c%d%c%s"
         "%c%s%c%.1f%c%s%c%.1f%c%d%c%s%c%s%c%d%%%c%s%c%d%c%s%c%s%c%.0f%c%s%c%s"
         "%c\n",
         w->city, d, w->country, d, (double)w->longitude, d, w->lon_dir, d,
         (double)w->latitude, d, w->lat_dir, d, rise, d, set, d, w->temp_unit,
         d, w->temperature, d, w->temp_min, d, w->temp_max, d, w->humidity, d,
         w->humidity_unit, d, w->pressure, d, w->pressure_unit, d,
         w->speed_unit, d, (double)w->wind_speed, d, w->speed_name, d,
         (double)w->gusts, d, w->wind_dir, d, w->wind_dir_code, d,
         w->wind_dir_name, d, w->clouds, d, w->clouds_name, d, w->visibility,
         d, w->visibility_unit, d, w->precip_mode, d,
         (double)w->precipitation, d, w->precip_unit, d, update, d);
}

static void print_text(const weather *w) {
  printf("City:\t\t%s (%s)\n", w->city, w->country);
  printf("Longitude:\t%.2f%s\nLatitude:\t%.2f%s\n", (double)w->longitude,
         w->lon_dir, (double)w->latitude, w->lat_dir);
  printf("Sunrise:\t%s\nSunset\t\t%s\n", w->sunrise, w->sunset);
  printf("Temperature:\t%d %s (min %d, max %d)\n", w->temperature,
         w->temp_unit, w->temp_min, w->temp_max);
  printf("Humidity:\t%d%s\n", w->humidity, w->humidity_unit);
  printf("Pressure:\t%d %s\n", w->pressure, w->pressure_unit);
  printf("Wind:\t\t%.1f %s (%s)\n", (double)w->wind_speed, w->speed_unit,
         w->speed_name);
  if (w->gusts != 0.0f)
    printf("Gusts:\t\t%.1f %s\n", (double)w->gusts, w->speed_unit);
  printf("Wind direction:\t%d", w->wind_dir);
  if (w->wind_dir_code[0] != '\0') printf(" (%s)", w->wind_dir_code);
  if (w->wind_dir_name[0] != '\0') printf(" (%s)", w->wind_dir_name);
  fputc('\n', stdout);
  printf("Clouds:\t\t%d%% (%s)\n", w->clouds, w->clouds_name);
  printf("Visibility:\t%d %s\n", w->visibility, w->visibility_unit);
  printf("Precipitation:\t%s", w->precip_mode);
  if (strcasecmp(w->precip_mode, "no") != 0)
    printf(" %.0f %s", (double)w->precipitation, w->precip_unit);
  fputc('\n', stdout);
  printf("Last update:\t%s\n", w->last_update);
}

void print_weather(const run_settings *s, const weather *w) {
  if (s->compressed)
    print_delimited(s, w);
  else
    print_text(w);
}
