#include "monitor/adaptive_monitor_url_selector.h"

#include "platform/inotify_watcher.h"

#include <algorithm>
#include <functional>

namespace zarnik {
namespace {

// Gives each container its dense rank on one criterion: sorted best first, the first scores 0,
// and the score rises by one each time the value differs from the one before.
template <typename Value>
void scoreByDenseRank(
    std::vector<AdaptiveMonitorURLSelectorImpl::ScoreContainer*>& containers,
    std::function<Value(const AdaptiveMonitorURLSelectorImpl::ScoreContainer&)> value,
    double AdaptiveMonitorURLSelectorImpl::ScoreContainer::*score) {
  std::stable_sort(containers.begin(), containers.end(),
                   [&](auto* a, auto* b) { return value(*a) > value(*b); });
  double rank = 0.0;
  for (size_t i = 0; i < containers.size(); ++i) {
    if (i > 0 && value(*containers[i]) != value(*containers[i - 1])) rank += 1.0;
    containers[i]->*score = rank;
  }
}

MonitorFolderTally tallyOf(const MonitorCandidateFolder& folder, const ChildrenByFolder& children) {
  MonitorFolderTally tally{folder};
  const auto found = children.find(folder.path);
  if (found == children.end()) return tally;
  tally.files = static_cast<long>(found->second.size());
  tally.duplicates = static_cast<long>(
      std::count_if(found->second.begin(), found->second.end(),
                    [](const MonitorCandidateChild& child) { return child.isDuplicate; }));
  return tally;
}

AdaptiveMonitorURLSelectorImpl::ScoreContainer makeContainer(const MonitorFolderTally& tally) {
  AdaptiveMonitorURLSelectorImpl::ScoreContainer container{tally.folder};
  container.leafChildrenCount = tally.files;
  if (container.leafChildrenCount >= 1) {
    container.junkLeafNodesRatio =
        static_cast<double>(tally.duplicates) / static_cast<double>(container.leafChildrenCount);
  }
  return container;
}

}  // namespace

long inotifyWatchBudget(long maxUserWatches, long watchesInUse) {
  const long shareLeftToOthers = maxUserWatches / 5;
  const long available = maxUserWatches - shareLeftToOthers - watchesInUse;
  return std::clamp(available, 0L, AdaptiveMonitorURLSelectorImpl::kMaximumBudget);
}

long currentInotifyWatchBudget() {
  constexpr long kOldKernelDefault = 8192;
  return inotifyWatchBudget(maxUserInotifyWatches().valueOr(kOldKernelDefault),
                            inotifyWatchesInUse());
}

const AdaptiveMonitorURLSelectorImpl& AdaptiveMonitorURLSelectorImpl::shared() {
  static const AdaptiveMonitorURLSelectorImpl selector;
  return selector;
}

std::vector<AdaptiveMonitorURLSelectorImpl::ScoreContainer>
AdaptiveMonitorURLSelectorImpl::rankedContainers(const std::vector<MonitorCandidateFolder>& folders,
                                                 const ChildrenByFolder& children) {
  std::vector<MonitorFolderTally> tallies;
  tallies.reserve(folders.size());
  for (const auto& folder : folders) tallies.push_back(tallyOf(folder, children));
  return rankedContainers(tallies);
}

std::vector<AdaptiveMonitorURLSelectorImpl::ScoreContainer>
AdaptiveMonitorURLSelectorImpl::rankedContainers(const std::vector<MonitorFolderTally>& tallies) {
  std::vector<ScoreContainer> containers;
  containers.reserve(tallies.size());
  for (const auto& tally : tallies) containers.push_back(makeContainer(tally));

  std::vector<ScoreContainer*> order;
  order.reserve(containers.size());
  for (auto& container : containers) order.push_back(&container);
  scoreByDenseRank<Date>(
      order, [](const ScoreContainer& c) { return c.folder.dateOfModification; },
      &ScoreContainer::dateOfModificationScore);
  scoreByDenseRank<long>(
      order, [](const ScoreContainer& c) { return c.leafChildrenCount; },
      &ScoreContainer::leafChildrenCountScore);
  scoreByDenseRank<double>(
      order, [](const ScoreContainer& c) { return c.junkLeafNodesRatio; },
      &ScoreContainer::junkLeafNodesRatioScore);

  std::stable_sort(containers.begin(), containers.end(),
                   [](const ScoreContainer& a, const ScoreContainer& b) {
                     if (a.score() != b.score()) return a.score() < b.score();
                     return a.folder.dateOfModification < b.folder.dateOfModification;
                   });
  return containers;
}

AdaptiveMonitorSelection AdaptiveMonitorURLSelectorImpl::selectFolders(
    const std::vector<MonitorCandidateFolder>& folders, const ChildrenByFolder& children) const {
  AdaptiveMonitorSelection selection;
  selection.budget = budget_.value_or(currentInotifyWatchBudget());
  long left = selection.budget;
  const auto ranked = rankedContainers(folders, children);
  for (size_t i = 0; i < ranked.size(); ++i) {
    if (left < 0) {
      selection.cutByBudget = true;
      break;
    }
    const auto& folder = ranked[i].folder;
    selection.paths.insert(folder.path);
    const auto found = children.find(folder.path);
    left -= (found == children.end() ? 0 : static_cast<long>(found->second.size())) + 1;
  }
  return selection;
}

std::vector<std::string> AdaptiveMonitorURLSelectorImpl::foldersToWatch(
    const std::vector<MonitorFolderTally>& tallies, long watches) {
  std::vector<std::string> chosen;
  for (auto& container : rankedContainers(tallies)) {
    if (static_cast<long>(chosen.size()) >= watches) break;
    chosen.push_back(std::move(container.folder.path));
  }
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}

}  // namespace zarnik
