// Runs the zarnik program with the fault-injection library loaded: counting the calls that change
// files, or killed at one of them.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace zarnik::testing {

struct ProgramRun {
  bool killed = false;  // ended by SIGKILL: the kill point was reached
  int status = -1;      // the exit status when it exited
  std::string out;
  std::string err;
};

// One place to stop the program: the n-th call (from 1) of `call`, before making it or after.
struct KillPoint {
  std::string call;
  long n = 0;
  bool after = false;
  [[nodiscard]] std::string text() const;  // "renameat2:3:after", as the library reads it
};

// Runs zarnik with `arguments` (no shell, stdin from /dev/null), with `environment` ("NAME=value")
// added to this process's. Output goes through files in `scratchFolder`.
ProgramRun runProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                      const std::string& scratchFolder);

// As runProgram, with the library counting the calls; the number of calls of each function made.
std::map<std::string, long> countCalls(const std::vector<std::string>& arguments, const std::string& scratchFolder,
                                       ProgramRun* run);

// As runProgram, killed at `point`.
ProgramRun runKilledAt(const KillPoint& point, const std::vector<std::string>& arguments,
                       const std::string& scratchFolder);

// The kill points of a run that made `counts` calls: every call, before and after, except that a
// function called more than `perFunction` times gets `perFunction` calls spread evenly from its
// first to its last.
std::vector<KillPoint> killPointsOf(const std::map<std::string, long>& counts, long perFunction);

}  // namespace zarnik::testing
