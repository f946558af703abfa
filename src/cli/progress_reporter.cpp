#include "cli/progress_reporter.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <fmt/format.h>

#include "base/byte_path.h"
#include "foundation/byte_count_formatter.h"

namespace zarnik::cli {
namespace {

size_t terminalWidth() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
  return 80;
}

// Keeps the end of a long path, which names the item.
std::string fitPath(const std::string& path, size_t width) {
  if (path.size() <= width) return path;
  if (width <= 1) return "";
  size_t start = path.size() - (width - 1);
  while (start < path.size() && (static_cast<unsigned char>(path[start]) & 0xC0) == 0x80) ++start;
  return "…" + path.substr(start);
}

}  // namespace

std::string phaseName(ScanningPhase phase) {
  switch (phase) {
    case ScanningPhase::initial: return "starting";
    case ScanningPhase::enumerating: return "scanning";
    case ScanningPhase::matchingAndAccumulating: return "comparing";
    case ScanningPhase::differencesDetectionAndAutoselection: return "building results";
    case ScanningPhase::finished: return "finished";
  }
  return "";
}

ProgressReporter::ProgressReporter(bool enabled) : enabled_(enabled) {}

void ProgressReporter::show(const ConstantScanningStatus& status) {
  if (!enabled_) return;
  std::lock_guard lock(mutex_);
  const std::string head = fmt::format("{} {:3.0f}%  {} items  {} found  ", phaseName(status.phase),
                                       status.estimatedCompletionFraction * 100, static_cast<long long>(status.numberOfNodesToMatch),
                                       formatByteCount(status.estimatedSizeOfFoundDuplicates));
  const size_t width = terminalWidth() - 1;
  std::string line = head;
  if (status.latestProcessedURL && head.size() + 8 < width) {
    line += fitPath(displayPath(*status.latestProcessedURL), width - head.size());
  }
  fmt::print(stderr, "\r\033[2K{}", line);
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressReporter::eraseLocked() {
  if (drawn_) fmt::print(stderr, "\r\033[2K");
  drawn_ = false;
}

void ProgressReporter::printLine(const std::string& line) {
  std::lock_guard lock(mutex_);
  eraseLocked();
  fmt::print(stderr, "{}\n", line);
  std::fflush(stderr);
}

void ProgressReporter::clear() {
  std::lock_guard lock(mutex_);
  eraseLocked();
  std::fflush(stderr);
}

}  // namespace zarnik::cli
