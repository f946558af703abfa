// Statistician: owns the lifetime statistics and their file, "statistics.plist" in the folder of
// the program's persistent content ($XDG_DATA_HOME/zarnik/). The file is read and written whole.
// A file that cannot be read (damaged, or written by a newer version) is set aside next to it and
// new statistics begin; the statistician says where it went, once, for the front end to tell.
//
// Several zarnik commands may run at once: an update takes the file's lock, reads the file again,
// applies the change and writes the result, so that no command's counts are lost.
#pragma once

#include "base/result.h"
#include "statistics/statistician_store.h"

#include <functional>
#include <optional>
#include <string>

namespace zarnik {

class Statistician {
 public:
  // The statistics of "<directory>/statistics.plist", read (or begun) at once.
  explicit Statistician(std::string directory);
  // The statistics of the user's persistent content folder.
  static Statistician standard();

  // The statistics as of the last read or update.
  [[nodiscard]] const StatisticianStore& statistics() const { return statistics_; }
  // Where an unreadable file was set aside, and why ("…: not a statistics file"); nothing when the
  // file was read, or there was none.
  [[nodiscard]] const std::optional<std::string>& setAsideNotice() const { return setAsideNotice_; }

  // The only way to change the statistics: `change` gets the latest statistics and its result is
  // written whole. An error when the file cannot be written; the statistics are then changed in
  // memory only.
  Result<void> updateStatistics(const std::function<void(StatisticianStore&)>& change);

 private:
  void restoreOrCreateStatistics();

  std::string directory_;
  std::string file_;
  StatisticianStore statistics_;
  std::optional<std::string> setAsideNotice_;
};

}  // namespace zarnik
