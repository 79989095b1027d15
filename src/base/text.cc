// Text folding.
#include <ctype.h>

#include "base/text.h"

void lowercase_in_place(char *text) {
  for (unsigned char *p = (unsigned char *)text; *p; p++)
    if (*p < 0x80) *p = (unsigned char)tolower(*p);
}
