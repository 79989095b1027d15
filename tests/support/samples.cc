// Reports for the sample documents, worked out by hand from their values.
#include "samples.h"

const char kMillbrookReport[] =
    "City:\t\tMillbrook (US)\n"
    "Longitude:\t89.65W\n"
    "Latitude:\t39.80N\n"
    "Sunrise:\t2026-12-10T13:02:44\n"
    "Sunset\t\t2026-12-10T22:31:09\n"
    "Temperature:\t3 Celsius (min 1, max 6)\n"
    "Humidity:\t64%\n"
    "Pressure:\t1021 mbar\n"
    "Wind:\t\t9.4 km/h (Light breeze)\n"
    "Wind direction:\t250 (WSW) (West-southwest)\n"
    "Clouds:\t\t75% (broken clouds)\n"
    "Visibility:\t16093 metres\n"
    "Precipitation:\train 2 mm\n"
    "Last update:\t2026-12-10T05:25:00\n";

std::string entity_bomb_document() {
  std::string doc =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE current [\n"
      "<!ENTITY e0 \"ha ha ha ha ha ha ha ha\">\n";
  for (int i = 1; i <= 10; i++) {
    doc += "<!ENTITY e" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; k++) doc += "&e" + std::to_string(i - 1) + ";";
    doc += "\">\n";
  }
  return doc +
         "]>\n<current><city "
         "name=\"x\"><laughs>&e10;</laughs></city></current>\n";
}
