// URL template expansion and URL splitting.
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/alloc.h"
#include "http/url.h"

// Appends len bytes of text to the expansion: written to out unless out is
// NULL, counted in *n either way.
static void put(char *out, size_t *n, const char *text, size_t len) {
  if (out != nullptr) memcpy(out + *n, text, len);
  *n += len;
}

// Expands s->url into out, or only measures the expansion when out is
// NULL. Returns its length, the terminator not counted.
static size_t expand(const run_settings *s, char *out) {
  size_t n = 0;
  const char *t = s->url ? s->url : "";
  for (const char *p = t; *p; p++) {
    if (*p != '$' || p[1] == '\0') {
      put(out, &n, p, 1);
      continue;
    }
    p++;
    switch (toupper((unsigned char)*p)) {
      case 'U': {
        const char *word = s->units == UNITS_IMPERIAL ? "imperial" : "metric";
        put(out, &n, word, strlen(word));
        break;
      }
      case 'L': {
        char num[16];
        int len = snprintf(num, sizeof num, "%d", s->location);
        put(out, &n, num, (size_t)len);
        break;
      }
      case 'A':
        if (s->appid) put(out, &n, s->appid, strlen(s->appid));
        break;
      default:
        put(out, &n, p, 1);
        break;
    }
  }
  if (out != nullptr) out[n] = '\0';
  return n;
}

char *expand_url_template(const run_settings *s) {
  char *url = (char *)alloc_or_report(expand(s, nullptr) + 1);
  if (url != nullptr) expand(s, url);
  return url;
}

bool has_control_byte(const char *text) {
  for (const unsigned char *p = (const unsigned char *)text; *p; p++)
    if (*p < 0x20 || *p == 0x7f) return true;
  return false;
}

// A terminated heap copy of len bytes of text, or NULL after reporting.
static char *copy_span(const char *text, size_t len) {
  char *copy = (char *)alloc_or_report(len + 1);
  if (copy != nullptr) {
    memcpy(copy, text, len);
    copy[len] = '\0';
  }
  return copy;
}

const char *split_url(const char *url, char **host, char **port) {
  size_t len = strlen(url);
  const char *start = url + (len < 7 ? len : 7);
  const char *host_end = start + strcspn(start, "/:");
  const char *port_start = host_end;
  const char *path = host_end;
  if (*host_end == ':') {
    port_start = host_end + 1;
    path = port_start + strcspn(port_start, "/");
  }
  *host = copy_span(start, (size_t)(host_end - start));
  *port = nullptr;
  if (*host != nullptr)
    *port = copy_span(port_start, (size_t)(path - port_start));
  if (*port == nullptr) {
    free(*host);
    *host = nullptr;
    return nullptr;
  }
  return path;
}
