#include "statistics/statistician.h"

#include "base/byte_path.h"
#include "foundation/logger.h"
#include "platform/file_lock.h"
#include "store/persistent_content.h"
#include "store/persistent_store.h"

#include <fmt/format.h>

#include <filesystem>

namespace zarnik {
namespace {

constexpr std::string_view kAuthor = "Statistician";

}  // namespace

Statistician::Statistician(std::string directory)
    : directory_(std::move(directory)), file_(directory_ + "/statistics.plist") {
  restoreOrCreateStatistics();
}

Statistician Statistician::standard() { return Statistician(persistentContentDirectory()); }

// A missing file is the first launch: nothing to tell. Any other failure to read keeps the file for
// a person to look at and starts afresh, rather than stopping the program over its statistics.
void Statistician::restoreOrCreateStatistics() {
  std::error_code missing;
  if (!std::filesystem::exists(file_, missing)) return;
  auto read = StatisticianStore::makeWithContentsOf(file_);
  if (read.hasValue()) {
    statistics_ = read.value();
    return;
  }
  auto moved = moveStoreAside(file_);
  const std::string reason = read.error().description;
  setAsideNotice_ =
      moved.hasValue()
          ? fmt::format(
                "{} could not be read ({}); it was set aside as {} and new statistics begin",
                displayPath(file_), reason, displayPath(moved.value()))
          : fmt::format("{} could not be read ({}) nor set aside ({}); new statistics begin",
                        displayPath(file_), reason, moved.error().oneLine());
  Logger::shared().log(kAuthor, "restoreOrCreateStatistics()", *setAsideNotice_);
}

Result<void> Statistician::updateStatistics(const std::function<void(StatisticianStore&)>& change) {
  std::error_code ignored;
  std::filesystem::create_directories(directory_, ignored);
  auto lock = FileLock::lock(file_ + ".lock", "zarnik");
  // Without the lock (a read-only folder) the change is still made in memory, from what was read.
  if (lock.hasValue()) {
    auto latest = StatisticianStore::makeWithContentsOf(file_);
    if (latest.hasValue()) statistics_ = latest.value();
  }
  StatisticianStore next = statistics_;
  change(next);
  statistics_ = next;
  auto written = statistics_.storeTo(file_);
  if (written.hasError()) {
    Logger::shared().log(kAuthor, "storeStatistics()",
                         "Did fail to store the statistics: " + written.error().oneLine());
  }
  return written;
}

}  // namespace zarnik
