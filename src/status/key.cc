// The cache key: which set of options, and which configuration file as it
// stands, a cached reading answers.
#include "status/key.h"

#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "config/config_file.h"

std::string config_file_for(const std::vector<std::string> &args,
                            const char *system_config_file) {
  std::vector<std::string> words = {"tavik"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (std::string &w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  std::string named;
  bool given = false;
  opterr = 0;
#ifdef __GLIBC__
  optind = 0;
  const char *options = "+:c:d:Dhl:u:z";
#else
  optreset = 1;
  optind = 1;
  const char *options = ":c:d:Dhl:u:z";
#endif
  int c;
  while ((c = getopt((int)words.size(), argv.data(), options)) != -1) {
    if (c == 'c' && !given) {
      named = optarg;
      given = true;
    }
  }
  const char *chosen =
      choose_config_file(given ? named.c_str() : nullptr, system_config_file);
  std::string path = chosen;
  if (chosen != system_config_file && !(given && chosen == named.c_str()))
    free((void *)chosen);
  return path;
}

std::string cache_key(const std::string &program,
                      const std::vector<std::string> &args,
                      const char *system_config_file) {
  std::string material = program + '\0';
  for (const std::string &a : args) material += a + '\0';
  std::string config = config_file_for(args, system_config_file);
  material += config + '\0';
  struct stat st;
  if (stat(config.c_str(), &st) == 0) {
    char id[160];
    snprintf(id, sizeof id, "%llu %llu %lld %lld.%09ld",
             (unsigned long long)st.st_dev, (unsigned long long)st.st_ino,
             (long long)st.st_size, (long long)st.st_mtim.tv_sec,
             (long)st.st_mtim.tv_nsec);
    material += id;
  }
  // FNV-1a, 64 bits: enough to tell a user's few sets of options apart.
  unsigned long long h = 14695981039346656037ULL;
  for (unsigned char ch : material) {
    h ^= ch;
    h *= 1099511628211ULL;
  }
  char hex[17];
  snprintf(hex, sizeof hex, "%016llx", h);
  return hex;
}
