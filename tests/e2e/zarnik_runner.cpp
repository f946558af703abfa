#include "e2e/zarnik_runner.h"

#include <array>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zarnik::testing {

Run runZarnik(const std::string& arguments, const TestDir& scratch) {
  return runZarnikWith("", arguments, scratch);
}

Run runZarnikWith(const std::string& environment, const std::string& arguments,
                  const TestDir& scratch) {
  const std::string errPath = scratch / "stderr.txt";
  const std::string command =
      environment + " " + std::string(ZARNIK_BINARY) + " " + arguments + " 2>" + errPath;
  Run run;
  FILE* pipe = ::popen(command.c_str(), "r");
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    run.out.append(buffer.data(), n);
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  FILE* err = std::fopen(errPath.c_str(), "r");
  while ((n = std::fread(buffer.data(), 1, buffer.size(), err)) > 0)
    run.err.append(buffer.data(), n);
  std::fclose(err);
  return run;
}

pid_t spawnZarnik(const std::vector<std::string>& arguments) {
  std::vector<char*> argv{const_cast<char*>(ZARNIK_BINARY)};
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = -1;
  if (posix_spawn(&child, ZARNIK_BINARY, &actions, nullptr, argv.data(), environ) != 0) child = -1;
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

}  // namespace zarnik::testing
