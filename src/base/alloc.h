// Heap blocks for the whole program. These are the only places that turn
// an exhausted heap into "cannot allocate memory".
#ifndef TAVIK_BASE_ALLOC_H
#define TAVIK_BASE_ALLOC_H

#include <stddef.h>

// "cannot allocate memory": for a heap that ran out inside a library,
// which reports it with a code of its own.
void report_out_of_memory(void);

// A heap block of size bytes, or NULL after "cannot allocate memory".
void *alloc_or_report(size_t size);

// block (NULL or from these routines) grown or cut to size bytes, as
// realloc does; NULL after "cannot allocate memory", block then untouched.
void *realloc_or_report(void *block, size_t size);

// block cut to size bytes (above 0, at most its size now), or block itself
// when the heap cannot give the smaller one; nothing is reported.
void *shrink_block(void *block, size_t size);

// Heap copy of text. On exhaustion it reports and ends the run through
// fatal_exit(1).
char *copy_text(const char *text);

#endif
