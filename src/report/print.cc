// The text report and the delimited line.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "base/text.h"
#include "report/report.h"

enum { STAMP_SPLIT = 10 };

// The values of the delimited line, each followed by the delimiter d.
static void put_text(const char *text, char d) {
  fputs(text, stdout);
  putchar(d);
}

static void put_int(int value, char d) { printf("%d%c", value, d); }

static void put_real(float value, int decimals, char d) {
  printf("%.*f%c", decimals, (double)value, d);
}

// A timestamp as two values, split at index 10, where a date of ten
// characters meets its time. A separator there (T, t or a blank) gives way
// to the delimiter; any other character is kept, the delimiter going
// before the whole character that holds that byte, so that nothing is lost
// and no UTF-8 sequence is torn. A stamp of exactly ten characters gets
// the delimiter after it, so that date and (empty) time stay two values; a
// shorter one stays one value. Written in parts: the record's widest
// stamps leave no room in a copy for one more byte.
static void put_stamp(const char *stamp, char d) {
  size_t len = strlen(stamp);
  if (len < STAMP_SPLIT) {
    put_text(stamp, d);
    return;
  }
  const char *rest = stamp + STAMP_SPLIT;
  size_t date_len = STAMP_SPLIT;
  if (*rest == 'T' || *rest == 't' || *rest == ' ') {
    rest++;
  } else if (*rest != '\0') {
    date_len = utf8_cut(stamp, STAMP_SPLIT);
    rest = stamp + date_len;
  }
  fwrite(stamp, 1, date_len, stdout);
  putchar(d);
  put_text(rest, d);
}

static void print_delimited(const run_settings *s, const weather *w) {
  char d = s->delimiter;
  put_text(w->city, d);
  put_text(w->country, d);
  put_real(w->longitude, 2, d);
  put_text(w->lon_dir, d);
  put_real(w->latitude, 2, d);
  put_text(w->lat_dir, d);
  put_stamp(w->sunrise, d);
  put_stamp(w->sunset, d);
  put_text(w->temp_unit, d);
  put_int(w->temperature, d);
  put_int(w->temp_min, d);
  put_int(w->temp_max, d);
  put_int(w->humidity, d);
  put_text(w->humidity_unit, d);
  put_int(w->pressure, d);
  put_text(w->pressure_unit, d);
  put_text(w->speed_unit, d);
  put_real(w->wind_speed, 1, d);
  put_text(w->speed_name, d);
  put_real(w->gusts, 1, d);
  put_int(w->wind_dir, d);
  put_text(w->wind_dir_code, d);
  put_text(w->wind_dir_name, d);
  printf("%d%%%c", w->clouds, d);  // the percent sign is part of the value
  put_text(w->clouds_name, d);
  put_int(w->visibility, d);
  put_text(w->visibility_unit, d);
  put_text(w->precip_mode, d);
  put_real(w->precipitation, 0, d);
  put_text(w->precip_unit, d);
  put_stamp(w->last_update, d);
  putchar('\n');
}

static void print_text(const weather *w) {
  printf("City:\t\t%s (%s)\n", w->city, w->country);
  printf("Longitude:\t%.2f%s\nLatitude:\t%.2f%s\n", (double)w->longitude,
         w->lon_dir, (double)w->latitude, w->lat_dir);
  printf("Sunrise:\t%s\nSunset\t\t%s\n", w->sunrise, w->sunset);
  printf("Temperature:\t%d %s (min %d, max %d)\n", w->temperature, w->temp_unit,
         w->temp_min, w->temp_max);
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
