// Runs the zarnik program for black-box tests and collects its exit status and output.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/test_dir.h"

namespace zarnik::testing {

struct Run {
  int status = -1;
  std::string out;
  std::string err;
};

// `arguments` are passed through the shell; stderr goes through a file in `scratch`.
Run runZarnik(const std::string& arguments, const TestDir& scratch);
// Starts zarnik with `arguments` (no shell), its output thrown away; the process id.
pid_t spawnZarnik(const std::vector<std::string>& arguments);
inline std::string quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace zarnik::testing
