// What tavik prints for the sample server's documents.
#ifndef TAVIK_TESTS_SAMPLES_H
#define TAVIK_TESTS_SAMPLES_H

// The text report for location 3003 in metric units.
extern const char kMillbrookReport[];

#endif
