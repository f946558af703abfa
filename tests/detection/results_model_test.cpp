// The results model: which criteria a group falls under, the figures of each criterion as the
// selection changes and copies are cleaned, searching, ordering and limits, shortened paths, and
// the statistic of a detection read from it.
#include "detection/results_model.h"

#include "detection/duplicates_statistics.h"
#include "detection/search_text.h"
#include "detection/shorthand_path.h"

#include <gtest/gtest.h>

#include <random>

namespace zarnik {
namespace {

using Criterion = FilteringCriterion;

ResultsGroup groupOf(std::int64_t identifier, EquivalenceKind kind, NodeType type,
                     std::vector<ByteCount> sizes, std::vector<std::string> names = {}) {
  ResultsGroup group;
  group.identifier = identifier;
  group.kind = kind;
  for (size_t i = 0; i < sizes.size(); ++i) {
    ResultsCopy copy;
    copy.identifier = identifier * 100 + static_cast<std::int64_t>(i);
    copy.size = sizes[i];
    copy.type = type;
    copy.path =
        "/home/ann/" + (i < names.size() ? names[i] : "file " + std::to_string(copy.identifier));
    group.memberSize = std::max(group.memberSize, sizes[i]);
    group.copies.push_back(copy);
  }
  group.reclaimableSize = group.memberSize * static_cast<ByteCount>(sizes.size() - 1);
  group.selection =
      SelectionConfiguration{SelectionStrategy::automatic, group.copies.front().identifier, {}};
  for (size_t i = 1; i < group.copies.size(); ++i)
    group.selection.selectedIDs.insert(group.copies[i].identifier);
  group.autoselected = group.selection.selectedIDs;
  return group;
}

// The figures of every criterion counted again from nothing, copy by copy.
CriterionFigures recount(const std::vector<ResultsGroup>& groups, Criterion criterion) {
  CriterionFigures figures;
  figures.criterion = criterion;
  for (const auto& group : groups) {
    bool under = false;
    for (const auto& copy : group.copies) {
      if ((criteriaOfCopy(group, ResultsModel::criteriaOf(group), copy) & bit(criterion)) == 0)
        continue;
      under = true;
      const bool selected = !copy.cleaned && group.selection.isSelected(copy.identifier);
      const bool proposed = group.autoselected.count(copy.identifier) != 0;
      figures.total.add(copy.size, 1);
      if (copy.cleaned) figures.cleaned.add(copy.size, 1);
      if (copy.failed && !copy.cleaned) figures.failed.add(copy.size, 1);
      if (selected) figures.selected.add(copy.size, 1);
      if (selected && proposed) figures.automatic.add(copy.size, 1);
      if (selected && !proposed) figures.manual.add(copy.size, 1);
      if (!copy.cleaned && !selected && proposed) figures.incorrect.add(copy.size, 1);
    }
    if (under) ++figures.groups;
  }
  return figures;
}

TEST(ResultsModel, PutsAGroupUnderItsKindItsTypeAndEmptiness) {
  const auto images = groupOf(1, EquivalenceKind::exactHash, NodeType::image, {10, 10});
  EXPECT_EQ(ResultsModel::criteriaOf(images),
            bit(Criterion::all) | bit(Criterion::allDuplicates) | bit(Criterion::images));
  const auto similar = groupOf(2, EquivalenceKind::similarImage, NodeType::image, {10, 12});
  EXPECT_EQ(ResultsModel::criteriaOf(similar),
            bit(Criterion::all) | bit(Criterion::allSimilars) | bit(Criterion::similarImages));
  const auto folders = groupOf(3, EquivalenceKind::directory, NodeType::other, {10, 10});
  EXPECT_NE(ResultsModel::criteriaOf(folders) & bit(Criterion::folders), 0u);
  const auto empty = groupOf(4, EquivalenceKind::exactHash, NodeType::document, {0, 0});
  EXPECT_EQ(ResultsModel::criteriaOf(empty), bit(Criterion::all) | bit(Criterion::allDuplicates) |
                                                 bit(Criterion::documents) | bit(Criterion::empty) |
                                                 bit(Criterion::emptyExact));
}

TEST(ResultsModel, CountsAnExactGroupOfImagesUnderBothItsCriteria) {
  ResultsModel model;
  model.put(groupOf(1, EquivalenceKind::exactHash, NodeType::image, {10, 10, 10}));
  EXPECT_EQ(model.figures(Criterion::images).total, (CopiesAndBytes{3, 30}));
  EXPECT_EQ(model.figures(Criterion::allDuplicates).total, (CopiesAndBytes{3, 30}));
  EXPECT_EQ(model.figures(Criterion::selected).total, (CopiesAndBytes{2, 20}));
  EXPECT_EQ(model.figures(Criterion::allSimilars).total.count, 0);
  std::vector<Criterion> shown;
  for (const auto& figures : model.meaningfulFigures()) shown.push_back(figures.criterion);
  EXPECT_EQ(shown, (std::vector<Criterion>{Criterion::all, Criterion::allDuplicates,
                                           Criterion::images, Criterion::selected}));
}

TEST(ResultsModel, FollowsSelectionChangesAndCleaningsGroupByGroup) {
  ResultsModel model;
  auto group = groupOf(1, EquivalenceKind::exactHash, NodeType::document, {5, 5, 5});
  model.put(group);
  auto byHand = group.selection;
  byHand.strategy = SelectionStrategy::manual;
  byHand.selectedIDs = {group.copies[1].identifier, group.copies[0].identifier};
  byHand.originalID = group.copies[2].identifier;
  ASSERT_TRUE(model.applySelection(1, byHand));
  const auto& all = model.figures(Criterion::all);
  EXPECT_EQ(all.automatic, (CopiesAndBytes{1, 5}));
  EXPECT_EQ(all.manual, (CopiesAndBytes{1, 5}));
  EXPECT_EQ(all.incorrect, (CopiesAndBytes{1, 5}));
  EXPECT_EQ(DuplicatesDetectionStat(model).modifiedSelectionCount(), 2);
  EXPECT_FALSE(model.applySelection(7, byHand));

  group.selection = byHand;
  group.copies[1].cleaned = true;
  model.put(group);
  EXPECT_EQ(model.figures(Criterion::cleaned).total, (CopiesAndBytes{1, 5}));
  EXPECT_EQ(model.figures(Criterion::selected).total, (CopiesAndBytes{1, 5}));
  EXPECT_EQ(model.figures(Criterion::all).total, (CopiesAndBytes{3, 15}));
  model.remove(1);
  EXPECT_EQ(model.figures(Criterion::all), recount({}, Criterion::all));
}

// Counts kept up to date change by change equal counts taken again from nothing, whatever the
// sequence of selections, undos, redos and cleanings.
TEST(ResultsModel, FiguresEqualARecountAfterRandomChangesUndosRedosAndACleaning) {
  std::mt19937 random(22);
  const EquivalenceKind kinds[] = {EquivalenceKind::exactHash, EquivalenceKind::similarImage,
                                   EquivalenceKind::similarAudio, EquivalenceKind::directory,
                                   EquivalenceKind::exactAudioHash};
  const NodeType types[] = {NodeType::image, NodeType::audio, NodeType::document, NodeType::video,
                            NodeType::other};
  std::vector<ResultsGroup> groups;
  ResultsModel model;
  for (std::int64_t g = 1; g <= 60; ++g) {
    std::vector<ByteCount> sizes(2 + random() % 4);
    for (auto& size : sizes) size = (g % 7 == 0) ? 0 : static_cast<ByteCount>(1 + random() % 1000);
    groups.push_back(groupOf(g, kinds[random() % 5], types[random() % 5], sizes));
    model.put(groups.back());
  }
  struct Step {
    size_t group;
    SelectionConfiguration before, after;
  };
  std::vector<Step> done, undone;
  auto check = [&](int step) {
    for (Criterion criterion : allCriteria()) {
      ASSERT_EQ(model.figures(criterion), recount(groups, criterion))
          << "criterion " << identifier(criterion) << " after step " << step;
    }
  };
  for (int step = 0; step < 400; ++step) {
    const int action = static_cast<int>(random() % 10);
    if (action < 6 || done.empty()) {  // a change by hand
      const size_t g = random() % groups.size();
      auto& group = groups[g];
      SelectionConfiguration next = group.selection;
      next.strategy = SelectionStrategy::manual;
      const auto& copy = group.copies[random() % group.copies.size()];
      if (next.isSelected(copy.identifier)) {
        next.selectedIDs.erase(copy.identifier);
      } else {
        next.selectedIDs.insert(copy.identifier);
      }
      done.push_back({g, group.selection, next});
      undone.clear();
      group.selection = next;
      model.applySelection(group.identifier, next);
    } else if (action < 8) {  // undo
      Step last = done.back();
      done.pop_back();
      groups[last.group].selection = last.before;
      model.applySelection(groups[last.group].identifier, last.before);
      undone.push_back(last);
    } else if (!undone.empty()) {  // redo
      Step last = undone.back();
      undone.pop_back();
      groups[last.group].selection = last.after;
      model.applySelection(groups[last.group].identifier, last.after);
      done.push_back(last);
    }
    check(step);
  }
  // A cleaning removes every selected copy but one in seven, which fails; the groups are read
  // again.
  int selectedSoFar = 0;
  for (auto& group : groups) {
    for (auto& copy : group.copies) {
      if (!group.selection.isSelected(copy.identifier)) continue;
      (++selectedSoFar % 7 == 0 ? copy.failed : copy.cleaned) = true;
    }
    model.put(group);
  }
  check(400);
  EXPECT_EQ(model.figures(Criterion::selected).total, model.figures(Criterion::all).failed);
  EXPECT_GT(model.figures(Criterion::all).failed.count, 0);
  EXPECT_GT(model.figures(Criterion::cleaned).total.count, 0);
}

TEST(ResultsModel, SearchesNamesAndPathsAsTheyReadNotAsTheyAreEncoded) {
  ResultsModel model;
  // "Café" precomposed in one group, decomposed (e + combining acute) in the other.
  model.put(groupOf(1, EquivalenceKind::exactHash, NodeType::document, {5, 5},
                    {"Caf\u00e9 menu.pdf", "old/a.pdf"}));
  model.put(groupOf(2, EquivalenceKind::exactHash, NodeType::document, {7, 7},
                    {"cafe\u0301/b.pdf", "x/b.pdf"}));
  model.put(groupOf(3, EquivalenceKind::exactHash, NodeType::document, {9, 9},
                    {"tea.pdf", "tea copy.pdf"}));
  ResultsQuery query;
  query.search = "CAF\u00c9";
  auto found = model.filter(query);
  ASSERT_EQ(found.groups.size(), 2u);
  EXPECT_EQ(found.groups[0].copies.size(), 1u);  // within a group, only the copies that match
  EXPECT_EQ(found.all, (CopiesAndBytes{6, 42}));
  EXPECT_EQ(found.filtered, (CopiesAndBytes{2, 12}));
  query.search = "/home/ann/old";
  EXPECT_EQ(model.filter(query).groups.size(), 1u);
  query.search = "nowhere";
  EXPECT_TRUE(model.filter(query).groups.empty());
  EXPECT_EQ(searchKey("\xff"
                      "ABC"),
            "\xff"
            "abc");  // bytes that are not UTF-8 are kept
}

TEST(ResultsModel, OrdersGroupsAndCopiesBothWaysAndLimits) {
  ResultsModel model;
  model.put(
      groupOf(1, EquivalenceKind::exactHash, NodeType::document, {5, 5}, {"b.pdf", "zz.pdf"}));
  model.put(groupOf(2, EquivalenceKind::exactHash, NodeType::document, {9, 9, 9, 9},
                    {"a.pdf", "c.pdf", "d.pdf"}));
  model.put(groupOf(3, EquivalenceKind::similarImage, NodeType::image, {30, 20, 10},
                    {"C.jpg", "e.jpg", "d.jpg"}));
  auto order = [&](const ResultsQuery& query) {
    std::vector<std::int64_t> identifiers;
    for (const auto& shown : model.filter(query).groups)
      identifiers.push_back(shown.group->identifier);
    return identifiers;
  };
  ResultsQuery query;
  query.groupOrdering = Ordering::natural(OrderingCriterion::bySize);
  EXPECT_EQ(order(query), (std::vector<std::int64_t>{3, 2, 1}));
  query.groupOrdering = query.groupOrdering.reversed();
  EXPECT_EQ(order(query), (std::vector<std::int64_t>{1, 2, 3}));
  query.groupOrdering = Ordering::natural(OrderingCriterion::byName);
  EXPECT_EQ(order(query), (std::vector<std::int64_t>{2, 1, 3}));  // a, b, C: case does not matter
  query.groupOrdering = Ordering::natural(OrderingCriterion::byNumberOfDuplicates);
  EXPECT_EQ(order(query), (std::vector<std::int64_t>{2, 3, 1}));
  query.groupOrdering = Ordering::natural(OrderingCriterion::byNumberOfSelectedDuplicates);
  query.limit = 1;
  auto limited = model.filter(query);
  EXPECT_EQ(limited.groups.size(), 1u);
  EXPECT_EQ(limited.matchingGroups, 3u);
  EXPECT_EQ(limited.groups[0].group->identifier, 2);

  query = ResultsQuery{};
  query.criteria = {Criterion::similarImages};
  query.copyOrdering = Ordering::natural(OrderingCriterion::bySize).reversed();
  auto images = model.filter(query);
  ASSERT_EQ(images.groups.size(), 1u);
  std::vector<ByteCount> sizes;
  for (const auto* copy : images.groups[0].copies) sizes.push_back(copy->size);
  EXPECT_EQ(sizes, (std::vector<ByteCount>{10, 20, 30}));
  EXPECT_EQ(images.selectionStrategies,
            (std::set<SelectionStrategy>{SelectionStrategy::automatic}));
}

TEST(FilteringCriterion, OrdersEmptyBelowOthersAndSelectedLowest) {
  const auto ordered = criteriaOrderedByPresentationPriority();
  EXPECT_EQ(ordered.front(), Criterion::allDuplicates);
  EXPECT_EQ(ordered.back(), Criterion::selected);
  EXPECT_EQ(ordered[ordered.size() - 2], Criterion::emptySimilar);
  EXPECT_FALSE(isGridModeAllowed(Criterion::selected));
  EXPECT_TRUE(isGridModeAllowed(Criterion::images));
  for (Criterion criterion : allCriteria()) {
    EXPECT_EQ(filteringCriterionFromCommandLineName(commandLineName(criterion)), criterion);
  }
  EXPECT_EQ(filteringCriterionFromCommandLineName("similar-images"), Criterion::similarImages);
  EXPECT_FALSE(filteringCriterionFromCommandLineName("Images").has_value());
}

TEST(ShorthandPathBuilder, KeepsWhatDiffersAndAlwaysTheName) {
  const ShorthandPathBuilder builder({"/home/ann/a/x.jpg", "/home/ann/b/c/x.jpg"});
  EXPECT_EQ(builder.commonComponents(), (PathComponents{"/", "home", "ann"}));
  EXPECT_EQ(builder.shorthand("/home/ann/b/c/x.jpg"), "b/c/x.jpg");
  const ShorthandPathBuilder same({"/home/ann/x.jpg", "/home/ann/x.jpg"});
  EXPECT_EQ(same.shorthand("/home/ann/x.jpg"), "x.jpg");
  EXPECT_EQ(same.shorthand("/srv/y.jpg"), "/srv/y.jpg");
}

TEST(DuplicatesDetectionStat, LeavesOutCriteriaWithoutCopiesAndReadsThemAsZero) {
  ResultsModel model;
  model.put(groupOf(1, EquivalenceKind::exactHash, NodeType::document, {4, 4}));
  model.put(groupOf(2, EquivalenceKind::exactHash, NodeType::document, {0, 0}));
  const DuplicatesDetectionStat stat(model);
  EXPECT_EQ(stat.statistics().count(Criterion::allSimilars), 0u);
  EXPECT_EQ(stat.existingSimilars(), (CopiesAndBytes{}));
  EXPECT_EQ(stat.existing(), (CopiesAndBytes{4, 8}));
  EXPECT_EQ(stat.autoselected(), (CopiesAndBytes{2, 4}));
  for (const auto& row : stat.meaningfulStatistics()) EXPECT_GT(row.total.size, 0);
  EXPECT_EQ(describeFigures(stat.figures(Criterion::all)),
            "4 copies (8 bytes) in 2 groups: 2 proposed automatically");
}

}  // namespace
}  // namespace zarnik
