// What tavik prints for the sample server's documents.
#ifndef TAVIK_TESTS_SAMPLES_H
#define TAVIK_TESTS_SAMPLES_H

#include <string>

// The text report for location 3003 in metric units.
extern const char kMillbrookReport[];

// A document whose entities nest ten deep, ten references a level: about
// 80 GB of text once expanded, a few hundred bytes as sent.
std::string entity_bomb_document();

#endif
