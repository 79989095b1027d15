// Readings out of tavik's -z line, and the line and the waybar object made
// from them.
#include "status/reading.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include <sstream>
#include <vector>

#include "status/clean.h"

namespace {

std::vector<std::string> split_fields(const std::string &line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t end = line.find(kFieldSeparator, start);
    if (end == std::string::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, end - start));
    start = end + 1;
  }
}

// A whole decimal number in int's range, such as tavik prints with %d.
bool whole_number(const std::string &text, int *value) {
  if (text.empty()) return false;
  const char *p = text.c_str();
  char *end;
  errno = 0;
  long v = strtol(p, &end, 10);
  if (*end != '\0' || errno == ERANGE || v < -2147483647L - 1 ||
      v > 2147483647L || !(*p == '-' || (*p >= '0' && *p <= '9')))
    return false;
  *value = (int)v;
  return true;
}

bool all_digits(const std::string &text, size_t at, size_t n) {
  if (at + n > text.size()) return false;
  for (size_t i = at; i < at + n; i++)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

// The last update as "YYYY-MM-DD HH:MM:SS" with the colons and dashes put
// back by us, when the service's date and time have that shape; else
// whatever is left after cleaning.
std::string last_update(const std::string &date, const std::string &time) {
  if (date.size() == 10 && all_digits(date, 0, 4) && date[4] == '-' &&
      all_digits(date, 5, 2) && date[7] == '-' && all_digits(date, 8, 2)) {
    if (time.size() == 8 && all_digits(time, 0, 2) && time[2] == ':' &&
        all_digits(time, 3, 2) && time[5] == ':' && all_digits(time, 6, 2))
      return date + " " + time;
    if (time.empty()) return date;
  }
  return clean_text(time.empty() ? date : date + " " + time);
}

std::string escape_markup(const std::string &text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '\'':
        out += "&#39;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string json_string(const std::string &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += (char)c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += (char)c;
    }
  }
  return out + "\"";
}

}  // namespace

bool parse_reading(const std::string &line, int status, reading *r) {
  if (status != 0) return false;
  std::string text = line;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  std::vector<std::string> f = split_fields(text);
  // The unit: after the city, the country, two coordinates with their
  // hemispheres and the sunrise and sunset (each one field, or two where
  // it splits into date and time), the field that two whole numbers
  // follow. No text of the service can be followed by two numbers but the
  // sunset's, which the unit follows.
  size_t u = 0;
  int n;
  for (size_t i = 8; i <= 10 && i + 2 < f.size(); i++) {
    if ((f[i] == "Celsius" || f[i] == "Fahrenheit") &&
        whole_number(f[i + 1], &n) && whole_number(f[i + 2], &n)) {
      u = i;
      break;
    }
  }
  // Then 22 fields to the last update, which is one or two, and the empty
  // field after the line's last delimiter.
  if (u == 0 || (f.size() != u + 24 && f.size() != u + 25) || !f.back().empty())
    return false;
  reading got;
  got.unit = f[u][0];
  if (!whole_number(f[u + 1], &got.temperature) ||
      !whole_number(f[u + 2], &got.temp_min) ||
      !whole_number(f[u + 3], &got.temp_max) ||
      !whole_number(f[u + 4], &got.humidity))
    return false;
  std::string clouds = f[u + 15];
  if (!clouds.empty() && clouds.back() == '%') clouds.pop_back();
  if (!whole_number(clouds, &got.clouds)) return false;
  got.city = clean_text(f[0]);
  got.country = clean_text(f[1]);
  got.wind = clean_text(f[u + 9] + " " + f[u + 8] + " " + f[u + 10]);
  got.clouds_name = clean_text(f[u + 16]);
  got.updated = last_update(f[u + 22], f.size() == u + 25 ? f[u + 23] : "");
  const int low = got.unit == 'C' ? -100 : -148;
  const int high = got.unit == 'C' ? 70 : 158;
  if (f[0] == "UNKNOWN" || f[u + 22].empty() || got.temperature < low ||
      got.temperature > high)
    return false;
  *r = got;
  return true;
}

std::string status_line(const reading &r, bool utf8) {
  std::string line = std::to_string(r.temperature);
  if (utf8)
    line += std::string("\xc2\xb0") + r.unit;
  else
    line += r.unit == 'C' ? " Celsius" : " Fahrenheit";
  if (!r.clouds_name.empty()) line += " " + r.clouds_name;
  return line;
}

std::string waybar_object(const std::string &text, const reading *r,
                          bool stale) {
  std::string tooltip;
  if (r != nullptr) {
    std::ostringstream t;
    t << r->city;
    if (!r->country.empty()) t << " (" << r->country << ")";
    t << "\n"
      << r->temperature << "\xc2\xb0" << r->unit << " (min " << r->temp_min
      << ", max " << r->temp_max << ")\n"
      << "Humidity " << r->humidity << "%\n"
      << "Wind " << r->wind << "\n"
      << "Clouds " << r->clouds << "% " << r->clouds_name << "\n"
      << "Updated " << r->updated;
    tooltip = t.str();
  }
  return "{\"text\": " + json_string(escape_markup(text)) +
         ", \"tooltip\": " + json_string(escape_markup(tooltip)) +
         ", \"class\": " + json_string(stale ? "stale" : "fresh") + "}";
}

std::string format_record(const reading &r) {
  std::ostringstream o;
  o << "city " << r.city << "\ncountry " << r.country << "\nunit " << r.unit
    << "\ntemperature " << r.temperature << "\nmin " << r.temp_min << "\nmax "
    << r.temp_max << "\nhumidity " << r.humidity << "\nwind " << r.wind
    << "\nclouds " << r.clouds << "\nclouds_name " << r.clouds_name
    << "\nupdated " << r.updated << "\n";
  return o.str();
}

bool parse_record(const std::string &text, reading *r) {
  std::istringstream in(text);
  std::string line;
  reading got;
  unsigned seen = 0;
  while (std::getline(in, line)) {
    size_t sp = line.find(' ');
    if (sp == std::string::npos) return false;
    std::string name = line.substr(0, sp), value = line.substr(sp + 1);
    // The last update keeps the colons put there when it was made.
    std::string cleaned = clean_text(value);
    int *number = name == "temperature" ? &got.temperature
                  : name == "min"       ? &got.temp_min
                  : name == "max"       ? &got.temp_max
                  : name == "humidity"  ? &got.humidity
                  : name == "clouds"    ? &got.clouds
                                        : nullptr;
    if (number != nullptr) {
      if (!whole_number(value, number)) return false;
    } else if (name == "unit") {
      if (value != "C" && value != "F") return false;
      got.unit = value[0];
    } else if (name == "city") {
      got.city = cleaned;
    } else if (name == "country") {
      got.country = cleaned;
    } else if (name == "wind") {
      got.wind = cleaned;
    } else if (name == "clouds_name") {
      got.clouds_name = cleaned;
    } else if (name == "updated") {
      got.updated = last_update(value.substr(0, 10),
                                value.size() > 11 ? value.substr(11) : "");
    } else {
      return false;
    }
    seen++;
  }
  if (seen != 11) return false;
  *r = got;
  return true;
}
