// The progress line of a scan on a terminal: phase, completion, items, size found so far and
// the current path, redrawn in place on stderr. Error lines are printed above it.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "scanning/scanning_status.h"

namespace zarnik::cli {

class ProgressReporter {
 public:
  // Draws only when `enabled` (stderr is a terminal).
  explicit ProgressReporter(bool enabled);
  void show(const ConstantScanningStatus& status);
  // One line above the progress line.
  void printLine(const std::string& line);
  void clear();

 private:
  void eraseLocked();
  std::mutex mutex_;
  bool enabled_;
  bool drawn_ = false;
};

[[nodiscard]] std::string phaseName(ScanningPhase phase);

}  // namespace zarnik::cli
