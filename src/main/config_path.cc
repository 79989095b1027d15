// The system-wide configuration file, compiled into each program on its
// own (see system_config_file in main/options.h).
#include "main/options.h"

#ifndef TAVIK_CONFIG_FILE
#define TAVIK_CONFIG_FILE "/usr/local/etc/tavik.conf"
#endif

const char system_config_file[] = TAVIK_CONFIG_FILE;
