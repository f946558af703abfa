#include "monitor/adaptive_monitor_url_selector.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

Date daysAgo(int days) { return dateFromSecondsSince1970(1.7e9 - days * 86400.0); }

std::vector<MonitorCandidateChild> children(int count, int duplicates) {
  std::vector<MonitorCandidateChild> list;
  list.reserve(count);
  for (int i = 0; i < count; ++i) list.push_back({"f" + std::to_string(i), i < duplicates});
  return list;
}

std::vector<std::string> pathsInOrder(
    const std::vector<AdaptiveMonitorURLSelectorImpl::ScoreContainer>& ranked) {
  std::vector<std::string> paths;
  paths.reserve(ranked.size());
  for (const auto& container : ranked) paths.push_back(container.folder.path);
  return paths;
}

TEST(AdaptiveMonitorSelection, RanksEachCriterionDenselyAndSumsTheRanks) {
  const std::vector<MonitorCandidateFolder> folders{{"/recent-full-of-copies", daysAgo(1)},
                                                    {"/old-empty", daysAgo(30)},
                                                    {"/recent-few", daysAgo(1)}};
  ChildrenByFolder childrenOf{{"/recent-full-of-copies", children(10, 5)},
                              {"/recent-few", children(2, 0)}};

  const auto ranked = AdaptiveMonitorURLSelectorImpl::rankedContainers(folders, childrenOf);
  ASSERT_EQ(pathsInOrder(ranked),
            (std::vector<std::string>{"/recent-full-of-copies", "/recent-few", "/old-empty"}));
  // dates: two newest share 0, the old one 1; counts 10, 2, 0 give 0, 1, 2; ratios 0.5, 0, 0 give
  // 0, 1, 1
  EXPECT_EQ(ranked[0].score(), 0.0);
  EXPECT_EQ(ranked[1].dateOfModificationScore, 0.0);
  EXPECT_EQ(ranked[1].leafChildrenCountScore, 1.0);
  EXPECT_EQ(ranked[1].junkLeafNodesRatioScore, 1.0);
  EXPECT_EQ(ranked[2].score(), 1.0 + 2.0 + 1.0);
  EXPECT_EQ(ranked[0].junkLeafNodesRatio, 0.5);
  EXPECT_EQ(ranked[2].junkLeafNodesRatio, 0.0) << "no children: no share of duplicates";
}

TEST(AdaptiveMonitorSelection, OrdersEqualScoresByModificationDateOldestFirst) {
  std::vector<MonitorCandidateFolder> folders;
  ChildrenByFolder childrenOf;
  for (int i = 0; i < 10; ++i) {
    folders.push_back({"/d" + std::to_string(i), daysAgo(3)});
    childrenOf["/d" + std::to_string(i)] = children(4, 1);
  }
  const auto ranked = AdaptiveMonitorURLSelectorImpl::rankedContainers(folders, childrenOf);
  for (const auto& container : ranked) EXPECT_EQ(container.score(), 0.0);

  // Same counts and ratios but two dates: the newer ones score better, the old ones come after.
  folders.push_back({"/older", daysAgo(9)});
  folders.push_back({"/newer", daysAgo(2)});
  childrenOf["/older"] = children(4, 1);
  childrenOf["/newer"] = children(4, 1);
  const auto withDates = AdaptiveMonitorURLSelectorImpl::rankedContainers(folders, childrenOf);
  EXPECT_EQ(withDates.front().folder.path, "/newer");
  EXPECT_EQ(withDates.back().folder.path, "/older");
}

TEST(AdaptiveMonitorSelection, TakesFoldersUntilTheBudgetIsSpentIncludingTheOneThatCrossesIt) {
  const std::vector<MonitorCandidateFolder> folders{
      {"/a", daysAgo(1)}, {"/b", daysAgo(2)}, {"/c", daysAgo(3)}};
  ChildrenByFolder childrenOf{
      {"/a", children(3, 0)}, {"/b", children(3, 0)}, {"/c", children(3, 0)}};

  const auto cut = AdaptiveMonitorURLSelectorImpl(5).selectFolders(folders, childrenOf);
  EXPECT_EQ(cut.paths, (std::set<std::string>{"/a", "/b"}));  // 5 - 4 = 1, then 1 - 4 = -3
  EXPECT_TRUE(cut.cutByBudget);
  EXPECT_EQ(cut.budget, 5);

  const auto whole = AdaptiveMonitorURLSelectorImpl(12).selectFolders(folders, childrenOf);
  EXPECT_EQ(whole.paths.size(), 3u);
  EXPECT_FALSE(whole.cutByBudget);
}

TEST(AdaptiveMonitorSelection, ForAWatcherEachFolderCostsOneWatchAndTheBestRankedAreTaken) {
  const std::vector<MonitorFolderTally> tallies{{{"/old-empty", daysAgo(40)}, 0, 0},
                                                {{"/new-copies", daysAgo(1)}, 8, 6},
                                                {{"/new-few", daysAgo(1)}, 2, 0},
                                                {{"/mid", daysAgo(5)}, 8, 0}};
  EXPECT_EQ(AdaptiveMonitorURLSelectorImpl::foldersToWatch(tallies, 2),
            (std::vector<std::string>{"/mid", "/new-copies"}));
  EXPECT_EQ(AdaptiveMonitorURLSelectorImpl::foldersToWatch(tallies, 0), std::vector<std::string>{});
  EXPECT_EQ(AdaptiveMonitorURLSelectorImpl::foldersToWatch(tallies, 10).size(), 4U);

  // Counted files rank as listed children do.
  ChildrenByFolder childrenOf{
      {"/new-copies", children(8, 6)}, {"/new-few", children(2, 0)}, {"/mid", children(8, 0)}};
  std::vector<MonitorCandidateFolder> folders;
  folders.reserve(tallies.size());
  for (const auto& tally : tallies) folders.push_back(tally.folder);
  const auto byChildren = AdaptiveMonitorURLSelectorImpl::rankedContainers(folders, childrenOf);
  const auto byTallies = AdaptiveMonitorURLSelectorImpl::rankedContainers(tallies);
  EXPECT_EQ(pathsInOrder(byChildren), pathsInOrder(byTallies));
}

TEST(InotifyWatchBudget, LeavesAFifthOfTheLimitAndWhatOthersUseAndNeverExceedsTheMaximum) {
  EXPECT_EQ(inotifyWatchBudget(192543, 1000), 192543 - 38508 - 1000);
  EXPECT_EQ(inotifyWatchBudget(8192, 0), 8192 - 1638);
  EXPECT_EQ(inotifyWatchBudget(8192, 9000), 0);
  EXPECT_EQ(inotifyWatchBudget(10000000, 50), AdaptiveMonitorURLSelectorImpl::kMaximumBudget);
  EXPECT_GE(currentInotifyWatchBudget(), 0);
  EXPECT_LE(currentInotifyWatchBudget(), AdaptiveMonitorURLSelectorImpl::kMaximumBudget);
}

}  // namespace
}  // namespace zarnik
