#include "e2e/zarnik_runner.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

namespace zarnik::testing {

Run runZarnik(const std::string& arguments, const TestDir& scratch) {
  const std::string errPath = scratch / "stderr.txt";
  const std::string command = std::string(ZARNIK_BINARY) + " " + arguments + " 2>" + errPath;
  Run run;
  FILE* pipe = ::popen(command.c_str(), "r");
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  FILE* err = std::fopen(errPath.c_str(), "r");
  while ((n = std::fread(buffer.data(), 1, buffer.size(), err)) > 0) run.err.append(buffer.data(), n);
  std::fclose(err);
  return run;
}

}  // namespace zarnik::testing
