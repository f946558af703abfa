// What the person asked of the monitor: the folders to watch and whether it is paused. Kept in
// "$XDG_CONFIG_HOME/zarnik/monitor.json", apart from the monitor's store, so that the commands
// that change it work whether the monitor runs or not (a running monitor watches the file and
// follows it) and so that a store reset by the crash guard leaves the folders to watch.
#pragma once

#include "base/date.h"
#include "base/result.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

struct MonitorRequests {
  std::vector<std::string> locations;  // absolute paths, in the order they were added
  bool paused = false;
  // The recent duplicates found until then were put under review: they count as seen.
  std::optional<Date> reviewedUntil;
  // Copies the person ignores (absolute paths): no news of them, and never under review.
  std::set<std::string> ignoredCopies;

  [[nodiscard]] static std::string defaultPath();
  // A missing file asks for nothing; a damaged one fails with the path and the reason.
  static Result<MonitorRequests> load(const std::string& path);
  // The person's own file (defaultPath()); a damaged one fails with advice.
  static Result<MonitorRequests> loadDefault();
  // The file's text; `origin` names it in errors.
  static Result<MonitorRequests> parse(std::string_view text, const std::string& origin);
  Result<void> save(const std::string& path) const;

  // True when it was not there yet.
  bool add(const std::string& location);
  // True when it was there.
  bool remove(const std::string& location);
  friend bool operator==(const MonitorRequests&, const MonitorRequests&) = default;
};

}  // namespace zarnik
