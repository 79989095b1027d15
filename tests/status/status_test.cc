// tavik-status's units: the reading rule on tavik's -z line, the cache
// record, the cache key and the lock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "status/cache.h"
#include "status/key.h"
#include "status/reading.h"
#include "status/refresh.h"

namespace {

// A file holding content in a folder of its own under TMPDIR, removed with
// the object.
class temp_file {
 public:
  explicit temp_file(const std::string &content, const char *name = "t.conf") {
    const char *tmp = getenv("TMPDIR");
    std::string dir = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") +
                      "/tavik-status-test.XXXXXX";
    if (mkdtemp(&dir[0]) == nullptr) throw std::runtime_error("mkdtemp");
    dir_ = dir;
    path_ = dir + "/" + name;
    FILE *f = fopen(path_.c_str(), "w");
    if (f == nullptr) throw std::runtime_error("fopen");
    fputs(content.c_str(), f);
    fclose(f);
  }
  ~temp_file() {
    unlink(path_.c_str());
    rmdir(dir_.c_str());
  }
  const std::string &path() const { return path_; }
  const std::string &dir() const { return dir_; }

 private:
  std::string dir_, path_;
};

// A -z line as tavik prints it with the unit separator, from its fields.
std::string z_line(const std::vector<std::string> &fields) {
  std::string line;
  for (const std::string &f : fields) line += f + kFieldSeparator;
  return line + "\n";
}

// The fields of Millbrook's line, with the temperature and the city, the
// sunset and the last update as given.
std::vector<std::string> millbrook(const std::string &temp = "3",
                                   const std::string &city = "Millbrook") {
  return {city,
          "US",
          "89.65",
          "W",
          "39.80",
          "N",
          "2026-12-10",
          "13:02:44",
          "2026-12-10",
          "22:31:09",
          "Celsius",
          temp,
          "1",
          "6",
          "64",
          "%",
          "1021",
          "mbar",
          "km/h",
          "9.4",
          "Light breeze",
          "0.0",
          "250",
          "WSW",
          "West-southwest",
          "75%",
          "broken clouds",
          "16093",
          "metres",
          "rain",
          "2",
          "mm",
          "2026-12-10",
          "05:25:00"};
}

TEST(StatusReading, TakesTheFieldsOfAWholeReport) {
  reading r;
  ASSERT_TRUE(parse_reading(z_line(millbrook()), 0, &r));
  EXPECT_EQ(r.city, "Millbrook");
  EXPECT_EQ(r.country, "US");
  EXPECT_EQ(r.unit, 'C');
  EXPECT_EQ(r.temperature, 3);
  EXPECT_EQ(r.temp_min, 1);
  EXPECT_EQ(r.temp_max, 6);
  EXPECT_EQ(r.humidity, 64);
  EXPECT_EQ(r.wind, "9.4 km/h Light breeze");
  EXPECT_EQ(r.clouds, 75);
  EXPECT_EQ(r.clouds_name, "broken clouds");
  EXPECT_EQ(r.updated, "2026-12-10 05:25:00");
  EXPECT_EQ(status_line(r, true),
            "3\xc2\xb0"
            "C broken clouds");
  EXPECT_EQ(status_line(r, false), "3 Celsius broken clouds");
}

// Sunrise and sunset that do not split, and a sunset that reads like the
// unit with a number after it, move the unit but never fool the rule.
TEST(StatusReading, FindsTheUnitWhateverTheStampsHold) {
  std::vector<std::string> f = millbrook();
  f.erase(f.begin() + 7);  // sunrise "2026-12-10" alone
  f[7] = "Celsius";        // sunset one field that reads as a unit
  reading r;
  ASSERT_TRUE(parse_reading(z_line(f), 0, &r));
  EXPECT_EQ(r.temperature, 3);
  EXPECT_EQ(r.clouds_name, "broken clouds");
  f = millbrook();
  f[8] = "Celsius";
  f[9] = "12";  // a sunset of "Celsius 12"
  ASSERT_TRUE(parse_reading(z_line(f), 0, &r));
  EXPECT_EQ(r.temperature, 3);
}

TEST(StatusReading, OnlyAWholePlausibleReportIsAReading) {
  const auto with = [](std::vector<std::string> f, size_t at,
                       const std::string &v) {
    f[at] = v;
    return f;
  };
  std::vector<std::string> fahrenheit = with(millbrook(), 10, "Fahrenheit");
  std::vector<std::string> no_update = millbrook();
  no_update.resize(no_update.size() - 2);
  no_update.push_back("");
  const struct {
    const char *name;
    std::string line;
    int status;
    bool reading;
  } cases[] = {
      {"a report", z_line(millbrook()), 0, true},
      {"tavik failed", z_line(millbrook()), 1, false},
      {"tavik's empty record", z_line(millbrook("3", "UNKNOWN")), 0, false},
      {"no last update", z_line(no_update), 0, false},
      {"70 C", z_line(millbrook("70")), 0, true},
      {"71 C", z_line(millbrook("71")), 0, false},
      {"-100 C", z_line(millbrook("-100")), 0, true},
      {"-101 C", z_line(millbrook("-101")), 0, false},
      {"158 F", z_line(with(fahrenheit, 11, "158")), 0, true},
      {"159 F", z_line(with(fahrenheit, 11, "159")), 0, false},
      {"-148 F", z_line(with(fahrenheit, 11, "-148")), 0, true},
      {"-149 F", z_line(with(fahrenheit, 11, "-149")), 0, false},
      {"a wrapped huge temperature", z_line(millbrook("276447231")), 0, false},
      {"no line", "", 0, false},
      {"a cut line", z_line(millbrook()).substr(0, 60), 0, false},
      {"another delimiter", "Millbrook|US|89.65|W\n", 0, false},
  };
  for (const auto &c : cases) {
    reading r;
    EXPECT_EQ(parse_reading(c.line, c.status, &r), c.reading) << c.name;
  }
}

TEST(StatusReading, WaybarObjectIsEscapedForJsonAndPango) {
  reading r;
  ASSERT_TRUE(parse_reading(z_line(millbrook("3", "St. John's")), 0, &r));
  EXPECT_EQ(waybar_object(status_line(r, true) + " (stale)", &r, true),
            "{\"text\": \"3\xc2\xb0"
            "C broken clouds (stale)\", "
            "\"tooltip\": \"St. John&#39;s (US)\\n3\xc2\xb0"
            "C (min 1, max 6)\\n"
            "Humidity 64%\\nWind 9.4 km/h Light breeze\\n"
            "Clouds 75% broken clouds\\nUpdated 2026-12-10 05:25:00\", "
            "\"class\": \"stale\"}");
  EXPECT_EQ(
      waybar_object("\xe2\x80\xa6", nullptr, true),
      "{\"text\": \"\xe2\x80\xa6\", \"tooltip\": \"\", \"class\": \"stale\"}");
}

TEST(StatusRecord, RoundTripsAndRefusesDamage) {
  reading r;
  ASSERT_TRUE(parse_reading(z_line(millbrook()), 0, &r));
  reading back;
  ASSERT_TRUE(parse_record(format_record(r), &back));
  EXPECT_EQ(format_record(back), format_record(r));
  std::string text = format_record(r);
  EXPECT_FALSE(parse_record(text.substr(0, text.size() / 2), &back));
  EXPECT_FALSE(parse_record(text + "extra 1\n", &back));
  std::string hostile = text;
  hostile.replace(hostile.find("broken clouds"), 13,
                  "#[fg=red]\xe2\x80\xae"
                  "x");
  ASSERT_TRUE(parse_record(hostile, &back));
  EXPECT_EQ(back.clouds_name, "fgredx");
}

// A scratch folder for a cache directory, removed with the object.
struct scratch_dir {
  std::string path;
  int fd = -1;
  scratch_dir() {
    temp_file t("", "x");
    path = t.dir() + ".cache";
    mkdir(path.c_str(), 0700);
    fd = open(path.c_str(), O_RDONLY | O_DIRECTORY);
  }
  ~scratch_dir() {
    close(fd);
    std::string cmd = "rm -rf '" + path + "'";
    if (system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << path;
  }
};

TEST(StatusCache, RecordsSurviveAndDamagedOnesCountAsNone) {
  scratch_dir d;
  cache_record rec;
  rec.asked = 1000;
  rec.failed = true;
  rec.good = 900;
  ASSERT_TRUE(parse_reading(z_line(millbrook()), 0, &rec.last));
  ASSERT_TRUE(write_record(d.fd, "k", rec));
  cache_record back = read_record(d.fd, "k");
  EXPECT_EQ(back.asked, 1000);
  EXPECT_TRUE(back.failed);
  EXPECT_EQ(back.good, 900);
  EXPECT_EQ(back.last.clouds_name, "broken clouds");
  for (const char *damage :
       {"", "tavik-status cache 1\nasked x\n",
        "tavik-status cache 1\nasked 5\nfailed 2\ngood 0\n",
        "tavik-status cache 1\nasked 5\nfailed 0\ngood 9\n"}) {
    ASSERT_TRUE(replace_file(d.fd, "status-k", damage));
    EXPECT_EQ(read_record(d.fd, "k").asked, 0) << damage;
  }
}

TEST(StatusCache, FreshnessCountsTheIntervalAndDistrustsTheFuture) {
  EXPECT_TRUE(still_fresh(100, 100, 60));
  EXPECT_TRUE(still_fresh(100, 159, 60));
  EXPECT_FALSE(still_fresh(100, 160, 60));
  EXPECT_FALSE(still_fresh(101, 100, 60));  // the clock was set back
  EXPECT_FALSE(still_fresh(0, 100, 60));    // never asked
  EXPECT_FALSE(still_fresh(100, 100, 0));   // no interval: ask every time
}

TEST(StatusKey, FollowsTheArgumentsAndTheFileTavikWouldRead) {
  temp_file conf("URL http://127.0.0.1:1/\nAPPID k\n");
  temp_file other("URL http://127.0.0.1:1/\nAPPID k\n");
  const std::string a = cache_key("tavik", {"-c", conf.path()}, "/no/such");
  EXPECT_EQ(cache_key("tavik", {"-c", conf.path()}, "/no/such"), a);
  EXPECT_NE(cache_key("tavik", {"-c", conf.path(), "-l", "2"}, "/no/such"), a);
  EXPECT_NE(cache_key("other", {"-c", conf.path()}, "/no/such"), a);
  EXPECT_NE(cache_key("tavik", {"-c", other.path()}, "/no/such"), a);
  // The file's identity: its size, its time of change, its inode.
  {
    FILE *f = fopen(conf.path().c_str(), "a");
    fputs("UNITS imperial\n", f);
    fclose(f);
  }
  const std::string grown = cache_key("tavik", {"-c", conf.path()}, "/no/such");
  EXPECT_NE(grown, a);
  struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
  utimensat(AT_FDCWD, conf.path().c_str(), later, 0);
  EXPECT_NE(cache_key("tavik", {"-c", conf.path()}, "/no/such"), grown);
  // -c is found as tavik's option scan finds it: a clustered -c, and not
  // the value of another option.
  EXPECT_EQ(config_file_for({"-zc", conf.path()}, "/sys.conf"), conf.path());
  EXPECT_EQ(config_file_for({"-d", "-c", "-l", "3"}, "/sys.conf"), "/sys.conf");
  EXPECT_EQ(config_file_for({"-l", "3"}, "/sys.conf"), "/sys.conf");
}

// Rivals for the lock, forked: while one holds it, none other gets it;
// once its holder dies, however it dies, the next one does.
TEST(StatusLock, OneHolderAtATimeAndNoneAfterItsDeath) {
  scratch_dir d;
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t holder = fork();
  if (holder == 0) {
    if (take_lock(d.fd) < 0) _exit(1);
    if (write(ready[1], "x", 1) != 1) _exit(1);
    for (;;) pause();
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  // A rival blocks while the holder lives.
  pid_t rival = fork();
  if (rival == 0) _exit(take_lock(d.fd) >= 0 ? 0 : 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int status;
  EXPECT_EQ(waitpid(rival, &status, WNOHANG), 0) << "the rival got the lock";
  kill(holder, SIGKILL);
  waitpid(holder, &status, 0);
  // The holder's death lets the rival in, at once.
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(waitpid(rival, &status, 0), rival);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
  close(ready[0]);
  close(ready[1]);
}

}  // namespace
