// Runs the zarnik program for black-box tests and collects its exit status and output.
#pragma once

#include <string>

#include "support/test_dir.h"

namespace zarnik::testing {

struct Run {
  int status = -1;
  std::string out;
  std::string err;
};

// `arguments` are passed through the shell; stderr goes through a file in `scratch`.
Run runZarnik(const std::string& arguments, const TestDir& scratch);
inline std::string quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace zarnik::testing
