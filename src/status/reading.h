// A reading: what tavik-status takes from tavik's -z line, cleaned, and
// the two forms it shows it in.
#ifndef TAVIK_STATUS_READING_H
#define TAVIK_STATUS_READING_H

#include <string>

// The delimiter tavik-status asks tavik for: the unit separator, which
// tavik shows as "?" wherever the service sent one, so that no text of the
// service can make a field of its own.
const char kFieldSeparator = '\037';

struct reading {
  std::string city, country;  // cleaned
  char unit = 'C';            // 'C' or 'F'
  int temperature = 0, temp_min = 0, temp_max = 0;
  int humidity = 0;
  std::string wind;         // speed, unit and name, cleaned
  int clouds = 0;           // per cent
  std::string clouds_name;  // cleaned
  std::string updated;      // "2026-12-10 05:25:00", or the cleaned text
};

// Takes the reading out of the line a tavik run printed and the run's exit
// status. A reading is a run that ended with status 0, for a city other
// than tavik's empty record's "UNKNOWN", with a last-update time, and a
// temperature from -100 to 70 degrees Celsius (-148 to 158 Fahrenheit):
// anything else (a cut or partial document, a broken proxy's answer) is no
// reading, and false comes back.
bool parse_reading(const std::string &line, int status, reading *r);

// "3°C broken clouds", or "3 Celsius broken clouds" where the locale's
// characters are not UTF-8.
std::string status_line(const reading &r, bool utf8);

// One JSON object as waybar's custom module reads it: text (the line,
// with stale's mark), tooltip (a line each for place, temperature,
// humidity, wind, clouds and last update) and class (fresh or stale),
// every string escaped for Pango and for JSON.
std::string waybar_object(const std::string &text, const reading *r,
                          bool stale);

// The reading as lines "name value", and back; false for a text that is
// not one whole record. Every text is cleaned again when read.
std::string format_record(const reading &r);
bool parse_record(const std::string &text, reading *r);

#endif
