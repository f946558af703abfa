#include "e2e/fault_injection/faulted_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <set>
#include <sstream>

#include "support/test_dir.h"

extern char** environ;

namespace zarnik::testing {

std::string KillPoint::text() const { return call + ":" + std::to_string(n) + (after ? ":after" : ":before"); }

ProgramRun runProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                      const std::string& scratchFolder) {
  std::vector<char*> argv{const_cast<char*>(ZARNIK_BINARY)};
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  // The added variables come first: the first of two equal names wins.
  std::vector<char*> envp;
  for (const auto& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
  for (char** variable = environ; *variable != nullptr; ++variable) envp.push_back(*variable);
  envp.push_back(nullptr);

  const std::string outPath = scratchFolder + "/run.out";
  const std::string errPath = scratchFolder + "/run.err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ProgramRun run;
  pid_t child = -1;
  const int spawned = posix_spawn(&child, ZARNIK_BINARY, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    run.err = "could not start " + std::string(ZARNIK_BINARY);
    return run;
  }
  int raw = 0;
  while (::waitpid(child, &raw, 0) < 0 && errno == EINTR) {
  }
  run.killed = WIFSIGNALED(raw) && WTERMSIG(raw) == SIGKILL;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = contentsOf(outPath);
  run.err = contentsOf(errPath);
  return run;
}

namespace {

std::string preloaded() { return std::string("LD_PRELOAD=") + FAULT_INJECTION_LIBRARY; }

}  // namespace

std::map<std::string, long> countCalls(const std::vector<std::string>& arguments, const std::string& scratchFolder,
                                       ProgramRun* run) {
  const std::string countPath = scratchFolder + "/calls.txt";
  ::unlink(countPath.c_str());
  *run = runProgram(arguments, {preloaded(), "ZARNIK_FAULT_COUNT=" + countPath}, scratchFolder);
  std::map<std::string, long> counts;
  std::istringstream lines(contentsOf(countPath));
  std::string call;
  long count = 0;
  while (lines >> call >> count) {
    if (count > 0) counts[call] = count;
  }
  return counts;
}

ProgramRun runKilledAt(const KillPoint& point, const std::vector<std::string>& arguments,
                       const std::string& scratchFolder) {
  return runProgram(arguments, {preloaded(), "ZARNIK_FAULT=" + point.text()}, scratchFolder);
}

std::vector<KillPoint> killPointsOf(const std::map<std::string, long>& counts, long perFunction) {
  std::vector<KillPoint> points;
  for (const auto& [call, count] : counts) {
    // Evenly spaced from the first call to the last.
    std::set<long> chosen;
    const long picked = std::min(count, std::max(perFunction, 2L));
    for (long i = 0; i < picked; ++i) chosen.insert(picked == count ? i + 1 : 1 + i * (count - 1) / (picked - 1));
    for (long n : chosen) {
      points.push_back({call, n, false});
      points.push_back({call, n, true});
    }
  }
  return points;
}

}  // namespace zarnik::testing
