// Runs the zarnik program for black-box tests and collects its exit status and output.
#pragma once

#include "support/test_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/types.h>
#include <vector>

namespace zarnik::testing {

// A sanitized program runs several times slower, and more so beside other tests: deadlines for
// it are this many times longer.
#ifdef ZARNIK_SANITIZED_PROGRAM
inline constexpr int kSlowdown = 4;
#else
inline constexpr int kSlowdown = 1;
#endif

struct Run {
  int status = -1;
  std::string out;
  std::string err;
};

// `arguments` are passed through the shell; stderr goes through a file in `scratch`.
Run runZarnik(const std::string& arguments, const TestDir& scratch);
// The same with `environment` ("NAME=value ...") set for this run alone; stderr goes through
// a file in `scratch`, so two runs at once need scratch folders of their own.
Run runZarnikWith(const std::string& environment, const std::string& arguments,
                  const TestDir& scratch);
// Starts zarnik with `arguments` (no shell), its output thrown away; the process id.
pid_t spawnZarnik(const std::vector<std::string>& arguments);
inline std::string quoted(const std::string& path) { return "'" + path + "'"; }

// A tree to work on, and a home of its own for each test: settings, stores, the trash and the log
// all go to `scratch`, and a scan without paths stays small.
class ZarnikProgramTest : public ::testing::Test {
 protected:
  TestDir tree;
  TestDir scratch;
  void SetUp() override {
    ::setenv("XDG_STATE_HOME", scratch.path().c_str(), 1);
    ::setenv("XDG_DATA_HOME", (scratch / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
    ::setenv("HOME", scratch.path().c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (scratch / "cache").c_str(), 1);
  }
};

}  // namespace zarnik::testing
