// Chooses which folders the monitor watches when it cannot watch them all: each inotify watch
// costs kernel memory and the user has a limited number (fs.inotify.max_user_watches), shared
// with every other program. Folders are ranked on three criteria (recently modified, many files,
// a large share of duplicates) and taken best first until the watch budget is spent.
#pragma once

#include "base/date.h"

#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace zarnik {

// A folder the monitor knows, with the date its entries last changed.
struct MonitorCandidateFolder {
  std::string path;
  Date dateOfModification;
};

// One immediate child of a folder and whether it is a duplicate.
struct MonitorCandidateChild {
  std::string path;
  bool isDuplicate = false;
};

using ChildrenByFolder = std::unordered_map<std::string, std::vector<MonitorCandidateChild>>;

// A folder with how many files it holds and how many of them are duplicates: what the watcher
// learns by listing it, without a list of its children.
struct MonitorFolderTally {
  MonitorCandidateFolder folder;
  long files = 0;
  long duplicates = 0;
};

struct AdaptiveMonitorSelection {
  std::set<std::string> paths;
  long budget = 0;
  bool cutByBudget = false;  // some candidates were left out for want of watches
};

class AdaptiveMonitorURLSelector {
 public:
  virtual ~AdaptiveMonitorURLSelector() = default;
  [[nodiscard]] virtual AdaptiveMonitorSelection selectFolders(
      const std::vector<MonitorCandidateFolder>& folders,
      const ChildrenByFolder& children) const = 0;
};

// The watches the monitor may use: at most 300,000, and at most what leaves a fifth of the
// user's limit, plus the watches other programs hold now, to everybody else (desktop file
// indexers, editors and file managers watch folders too and fail silently when none is left).
// Never below zero.
[[nodiscard]] long inotifyWatchBudget(long maxUserWatches, long watchesInUse);
// The same with the limit and the watches in use read from the system now (the limit taken as
// 8,192, the kernel's old default, when it cannot be read).
[[nodiscard]] long currentInotifyWatchBudget();

class AdaptiveMonitorURLSelectorImpl final : public AdaptiveMonitorURLSelector {
 public:
  static constexpr long kMaximumBudget = 300000;

  struct ScoreContainer {
    MonitorCandidateFolder folder;
    long leafChildrenCount = 0;
    double junkLeafNodesRatio = 0.0;
    double dateOfModificationScore = 0.0;
    double leafChildrenCountScore = 0.0;
    double junkLeafNodesRatioScore = 0.0;
    [[nodiscard]] double score() const {
      return dateOfModificationScore + leafChildrenCountScore + junkLeafNodesRatioScore;
    }
  };

  // Reads the budget from the system at each selection.
  static const AdaptiveMonitorURLSelectorImpl& shared();

  // A fixed budget (tests; callers that computed it themselves); absent: read at each selection.
  explicit AdaptiveMonitorURLSelectorImpl(std::optional<long> budget = std::nullopt)
      : budget_(budget) {}

  [[nodiscard]] AdaptiveMonitorSelection selectFolders(
      const std::vector<MonitorCandidateFolder>& folders,
      const ChildrenByFolder& children) const override;

  // The containers, scored and best first (lower scores are better; equal scores older first).
  [[nodiscard]] static std::vector<ScoreContainer> rankedContainers(
      const std::vector<MonitorCandidateFolder>& folders, const ChildrenByFolder& children);
  [[nodiscard]] static std::vector<ScoreContainer> rankedContainers(
      const std::vector<MonitorFolderTally>& tallies);

  // The folders an inotify watcher watches when it has `watches` for `tallies.size()` folders:
  // the best ranked, one watch each. Sorted.
  [[nodiscard]] static std::vector<std::string> foldersToWatch(
      const std::vector<MonitorFolderTally>& tallies, long watches);

 private:
  std::optional<long> budget_;
};

}  // namespace zarnik
