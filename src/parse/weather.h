// The weather record: one observation, filled by the parse, normalised
// and printed. Text fields are fixed-width and always terminated.
#ifndef TAVIK_PARSE_WEATHER_H
#define TAVIK_PARSE_WEATHER_H

struct weather {
  int ok;  // 1 after a complete, well-formed document
  char city[100];
  char country[12];
  float longitude;
  char lon_dir[2];
  float latitude;
  char lat_dir[2];
  char sunrise[30];
  char sunset[32];
  int temperature;
  int temp_min;
  int temp_max;
  char temp_unit[20];
  int humidity;
  char humidity_unit[20];
  int pressure;
  char pressure_unit[20];
  float wind_speed;
  char speed_unit[20];
  float gusts;  // 0 when the document gives none
  char speed_name[52];
  int wind_dir;
  char wind_dir_code[10];
  char wind_dir_name[50];
  int clouds;
  char clouds_name[32];
  int visibility;
  char visibility_unit[20];
  float precipitation;  // -1 when the document gives none
  char precip_mode[30];
  char precip_unit[20];
  char last_update[32];
};

#endif
