// Current-weather documents for the sample server: a few made-up places,
// in metric or imperial values, shaped as a weather service sends them.
#ifndef TAVIK_TOOLS_SAMPLE_DOCS_H
#define TAVIK_TOOLS_SAMPLE_DOCS_H

#include <string>

// The document for location in the given units ("metric" or "imperial";
// anything else is metric, as a real service treats it). Returns false
// when the location is not one of the samples.
bool sample_document(long location, const std::string &units, std::string *doc);

// The locations the samples know, for messages.
const char *sample_locations(void);

#endif
