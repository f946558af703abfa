// The progress line of a scan on a terminal, redrawn in place on stderr: the stage, what is
// done of the work known (items listed; files and bytes read; groups built), the size found in
// copies so far, and the file being read now. Error lines are printed above it.
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
// The line without the path: "comparing 42%  read 120 of 340 files, 45 MB of 120 MB  3 MB in copies".
// A share is shown only once the walk has ended and the work is known, and never 100 % before
// the end.
[[nodiscard]] std::string progressText(const ConstantScanningStatus& status);

}  // namespace zarnik::cli
