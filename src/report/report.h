// Unit normalisation and the two forms of output.
#ifndef TAVIK_REPORT_REPORT_H
#define TAVIK_REPORT_REPORT_H

#include "base/settings.h"
#include "parse/weather.h"

// Writes the unit labels of s->units, converts wind, gusts, visibility and
// precipitation, and turns signed coordinates into magnitudes with
// hemisphere letters. Units other than 1 or 2 are fatal. Call once.
void massage_weather(const run_settings *s, weather *w);

// The text report, or with s->compressed the one delimited line, on stdout.
void print_weather(const run_settings *s, const weather *w);

#endif
