#include "cli/progress_reporter.h"

#include "base/byte_path.h"
#include "cli/wording.h"
#include "foundation/byte_count_formatter.h"
#include "platform/terminal.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace zarnik::cli {
namespace {

size_t terminalWidth() {
  const auto columns = terminalColumns(StandardStream::error);
  return columns && *columns > 20 ? static_cast<size_t>(*columns) : 80;
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
    case ScanningPhase::initial:
      return "starting";
    case ScanningPhase::enumerating:
      return "listing";
    case ScanningPhase::matchingAndAccumulating:
      return "comparing";
    case ScanningPhase::differencesDetectionAndAutoselection:
      return "building results";
    case ScanningPhase::finished:
      return "finished";
  }
  return "";
}

namespace {

// Opening a file costs about as much as reading this much of it: the share of the work done
// counts files as well as bytes, so that many small files and a few large ones both move it.
constexpr double kBytesPerFileOpened = 64 * 1024;

// What of the reading is done, as "read 120 of 340 files, 45 MB of 120 MB"; empty before any.
std::string readingPart(const ContentProgressSnapshot& content) {
  if (content.filesToRead == 0) return {};
  std::string part = fmt::format("read {} of {}", content.filesRead,
                                 counted(content.filesToRead, "file", "files"));
  if (content.bytesToRead > 0) {
    part += fmt::format(", {} of {}", formatByteCount(content.bytesRead),
                        formatByteCount(content.bytesToRead));
  }
  return part;
}

// The share done, once the work is all known (the walk has ended); never 100 % before the end.
std::optional<int> percentDone(const ConstantScanningStatus& status) {
  const ContentProgressSnapshot& content = status.content;
  if (status.phase == ScanningPhase::enumerating || status.phase == ScanningPhase::initial)
    return std::nullopt;
  const double total = static_cast<double>(content.bytesToRead) +
                       kBytesPerFileOpened * static_cast<double>(content.filesToRead);
  if (total <= 0 || content.filesRead >= content.filesToRead) return std::nullopt;
  const double done = static_cast<double>(content.bytesRead) +
                      kBytesPerFileOpened * static_cast<double>(content.filesRead);
  return std::min(99, static_cast<int>(done / total * 100));
}

}  // namespace

std::string progressText(const ConstantScanningStatus& status) {
  std::vector<std::string> parts;
  const bool readingLeft = status.content.filesRead < status.content.filesToRead;
  std::string stage = phaseName(status.phase);
  if (status.phase == ScanningPhase::differencesDetectionAndAutoselection && readingLeft) {
    stage = "comparing byte for byte";
  }
  if (auto percent = percentDone(status)) stage += fmt::format(" {}%", *percent);
  parts.push_back(stage);
  if (status.phase == ScanningPhase::enumerating || status.phase == ScanningPhase::initial) {
    parts.push_back(fmt::format(
        "{} ({})", counted(static_cast<std::int64_t>(status.numberOfNodesToMatch), "item", "items"),
        formatByteCount(status.sizeOfListedNodes)));
  }
  if (status.phase == ScanningPhase::differencesDetectionAndAutoselection && !readingLeft &&
      status.numberOfEquivalences) {
    parts.push_back(fmt::format("{} of {}", status.numberOfProcessedEquivalences,
                                counted(*status.numberOfEquivalences, "group", "groups")));
  } else if (auto reading = readingPart(status.content); !reading.empty()) {
    parts.push_back(reading);
  }
  if (status.estimatedSizeOfFoundDuplicates > 0) {
    parts.push_back(formatByteCount(status.estimatedSizeOfFoundDuplicates) + " in copies");
  }
  std::string text;
  for (const auto& part : parts) text += (text.empty() ? "" : "  ") + part;
  return text;
}

ProgressReporter::ProgressReporter(bool enabled) : enabled_(enabled) {}

void ProgressReporter::show(const ConstantScanningStatus& status) {
  if (!enabled_) return;
  std::lock_guard lock(mutex_);
  const std::string head = progressText(status) + "  ";
  const size_t width = terminalWidth() - 1;
  std::string line = head.size() <= width ? head : head.substr(0, width);
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
