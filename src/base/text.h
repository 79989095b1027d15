// Text folding shared by the program name and the configured URL.
#ifndef TAVIK_BASE_TEXT_H
#define TAVIK_BASE_TEXT_H

// Folds A-Z to a-z in place; bytes with the high bit set are left alone.
void lowercase_in_place(char *text);

#endif
