// Response framings.
#include "framing.h"

#include <stdio.h>

std::string content_length_response(const std::string &body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string chunked_response(const std::string &body, size_t chunk) {
  std::string out =
      "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n"
      "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
  for (size_t i = 0; i < body.size(); i += chunk) {
    std::string piece = body.substr(i, chunk);
    char size[32];
    snprintf(size, sizeof size, "%zx\r\n", piece.size());
    out += size;
    out += piece;
    out += "\r\n";
  }
  out += "0\r\n\r\n";
  return out;
}
