#include "detection/results_model.h"

#include "base/path_components.h"
#include "cleaning/cleaning_note.h"
#include "detection/search_text.h"

#include <algorithm>
#include <utility>

namespace zarnik {
namespace {

using Criterion = FilteringCriterion;

// An exact group of files is of the type of its files: one content, one type, whatever the names
// say; the first readable copy speaks for the group.
Criterion typeCriterionOfFiles(const ResultsGroup& group) {
  const NodeType type = group.copies.empty() ? NodeType::other : group.copies.front().type;
  switch (type) {
    case NodeType::archive:
      return Criterion::archives;
    case NodeType::document:
      return Criterion::documents;
    case NodeType::macApplication:
    case NodeType::mobileApplication:
      return Criterion::applications;
    case NodeType::audio:
      return Criterion::audio;
    case NodeType::image:
      return Criterion::images;
    case NodeType::video:
      return Criterion::video;
    default:
      return Criterion::other;
  }
}

std::uint32_t criteriaOfKind(const ResultsGroup& group) {
  switch (group.kind) {
    case EquivalenceKind::similarImage:
      return bit(Criterion::allSimilars) | bit(Criterion::similarImages);
    case EquivalenceKind::similarAudio:
      return bit(Criterion::allSimilars) | bit(Criterion::similarAudio);
    case EquivalenceKind::similarApp:
      return bit(Criterion::allSimilars) | bit(Criterion::similarApplications);
    case EquivalenceKind::directory:
      return bit(Criterion::allDuplicates) | bit(Criterion::folders);
    case EquivalenceKind::exactApp:
      return bit(Criterion::allDuplicates) | bit(Criterion::applications);
    case EquivalenceKind::exactAudioHash:
      return bit(Criterion::allDuplicates) | bit(Criterion::audio);
    default:
      return bit(Criterion::allDuplicates) | bit(typeCriterionOfFiles(group));
  }
}

std::string nameKey(const ResultsCopy& copy) { return searchKey(lastPathComponent(copy.path)); }

// The copy that names a group: its original, else its first copy.
const ResultsCopy* namingCopy(const ResultsGroup& group) {
  for (const auto& copy : group.copies) {
    if (group.selection.isOriginal(copy.identifier)) return &copy;
  }
  return group.copies.empty() ? nullptr : &group.copies.front();
}

std::int64_t selectedCount(const ResultsGroup& group) {
  return std::count_if(group.copies.begin(), group.copies.end(),
                       [&group](const ResultsCopy& copy) { return group.isSelected(copy); });
}

// Sort keys are taken once per group: names need Unicode work that a comparison must not repeat.
struct GroupKey {
  std::int64_t number = 0;
  std::string name;
};

GroupKey groupKey(const ResultsGroup& group, OrderingCriterion criterion) {
  switch (criterion) {
    case OrderingCriterion::bySize:
      return {group.reclaimableSize, {}};
    case OrderingCriterion::byNumberOfDuplicates:
      return {static_cast<std::int64_t>(group.copies.size()), {}};
    case OrderingCriterion::byNumberOfSelectedDuplicates:
      return {selectedCount(group), {}};
    case OrderingCriterion::byName: {
      const auto* copy = namingCopy(group);
      return {0, copy ? nameKey(*copy) : std::string()};
    }
  }
  return {};
}

void orderCopies(std::vector<const ResultsCopy*>& copies, const Ordering& ordering) {
  if (!supportsDuplicatesOrdering(ordering.criterion)) return;
  std::vector<std::pair<GroupKey, const ResultsCopy*>> keyed;
  keyed.reserve(copies.size());
  for (const auto* copy : copies) {
    keyed.emplace_back(ordering.criterion == OrderingCriterion::bySize
                           ? GroupKey{copy->size, {}}
                           : GroupKey{0, nameKey(*copy)},
                       copy);
  }
  std::stable_sort(keyed.begin(), keyed.end(), [&ordering](const auto& a, const auto& b) {
    const auto& x = ordering.ascending ? a.first : b.first;
    const auto& y = ordering.ascending ? b.first : a.first;
    return std::tie(x.number, x.name) < std::tie(y.number, y.name);
  });
  for (size_t i = 0; i < keyed.size(); ++i) copies[i] = keyed[i].second;
}

}  // namespace

ResultsGroup ResultsGroup::of(const ZKEquivalence& equivalence) {
  ResultsGroup group;
  group.identifier = equivalence.uniqueIdentifier;
  group.kind = equivalence.equivalenceKind();
  group.memberSize = equivalence.memberSize;
  group.reclaimableSize = equivalence.reclaimableSize;
  if (equivalence.currentSelectionConfiguration)
    group.selection = *equivalence.currentSelectionConfiguration;
  if (equivalence.initialSelectionConfiguration) {
    group.autoselected = equivalence.initialSelectionConfiguration->selectedIDs;
  }
  group.copies.reserve(equivalence.duplicates.size());
  for (const auto& duplicate : equivalence.duplicates) {
    ResultsCopy copy;
    copy.identifier = duplicate.identifier;
    copy.cleaned = isCleaned(duplicate);
    copy.failed = duplicate.cleanID.has_value() && !copy.cleaned;
    if (const auto node = duplicate.node()) {
      copy.size = node->exactSize();
      copy.path = node->path();
      copy.type = node->type();
    }
    group.copies.push_back(std::move(copy));
  }
  return group;
}

std::uint32_t ResultsModel::criteriaOf(const ResultsGroup& group) {
  std::uint32_t criteria = bit(Criterion::all) | criteriaOfKind(group);
  if (group.memberSize == 0) {
    criteria |= bit(Criterion::empty) |
                bit(isSimilar(group.kind) ? Criterion::emptySimilar : Criterion::emptyExact);
  }
  return criteria;
}

std::uint32_t criteriaOfCopy(const ResultsGroup& group, std::uint32_t groupCriteria,
                             const ResultsCopy& copy) {
  std::uint32_t criteria = groupCriteria;
  if (copy.cleaned) criteria |= bit(Criterion::cleaned);
  if (group.isSelected(copy)) criteria |= bit(Criterion::selected);
  return criteria;
}

// Adds (sign 1) or takes away (sign -1) what one group brings to every criterion: a change to a
// group is its old share taken away and its new one added.
void ResultsModel::account(const Entry& entry, int sign) {
  const ResultsGroup& group = entry.group;
  std::uint32_t groupUnder = 0;
  for (const auto& copy : group.copies) {
    const std::uint32_t criteria = criteriaOfCopy(group, entry.groupCriteria, copy);
    groupUnder |= criteria;
    const bool selected = group.isSelected(copy);
    const bool proposedByScan = group.autoselected.count(copy.identifier) != 0;
    for (std::uint32_t rest = criteria; rest != 0; rest &= rest - 1) {
      auto& figures = figures_[static_cast<size_t>(__builtin_ctz(rest))];
      figures.total.add(copy.size, sign);
      if (copy.cleaned) {
        figures.cleaned.add(copy.size, sign);
        continue;
      }
      if (copy.failed) figures.failed.add(copy.size, sign);
      if (selected) {
        figures.selected.add(copy.size, sign);
        (proposedByScan ? figures.automatic : figures.manual).add(copy.size, sign);
      } else if (proposedByScan) {
        figures.incorrect.add(copy.size, sign);
      }
    }
  }
  for (std::uint32_t rest = groupUnder; rest != 0; rest &= rest - 1) {
    figures_[static_cast<size_t>(__builtin_ctz(rest))].groups += sign;
  }
}

void ResultsModel::put(ResultsGroup group) {
  const std::int64_t identifier = group.identifier;
  if (auto found = entries_.find(identifier); found != entries_.end()) {
    account(found->second, -1);
    entries_.erase(found);
  }
  Entry entry{std::move(group), 0};
  entry.groupCriteria = criteriaOf(entry.group);
  account(entry, 1);
  entries_.emplace(identifier, std::move(entry));
}

void ResultsModel::remove(std::int64_t groupIdentifier) {
  auto found = entries_.find(groupIdentifier);
  if (found == entries_.end()) return;
  account(found->second, -1);
  entries_.erase(found);
}

bool ResultsModel::applySelection(std::int64_t groupIdentifier,
                                  const SelectionConfiguration& configuration) {
  auto found = entries_.find(groupIdentifier);
  if (found == entries_.end()) return false;
  account(found->second, -1);
  found->second.group.selection = configuration;
  account(found->second, 1);
  return true;
}

const ResultsGroup* ResultsModel::group(std::int64_t identifier) const {
  auto found = entries_.find(identifier);
  return found == entries_.end() ? nullptr : &found->second.group;
}

std::vector<CriterionFigures> ResultsModel::meaningfulFigures() const {
  std::vector<CriterionFigures> shown;
  for (const auto& figures : figures_) {
    if (figures.total.count > 0) shown.push_back(figures);
  }
  std::stable_sort(shown.begin(), shown.end(), [](const auto& a, const auto& b) {
    return isOrderedBefore(a.criterion, b.criterion);
  });
  return shown;
}

FilteredResults ResultsModel::filter(const ResultsQuery& query) const {
  std::uint32_t wanted = 0;
  for (Criterion criterion : query.criteria) wanted |= bit(criterion);
  const std::string key = searchKey(query.search);
  FilteredResults results;
  std::vector<std::pair<GroupKey, FilteredGroup>> kept;
  for (const auto& [identifier, entry] : entries_) {
    const ResultsGroup& group = entry.group;
    FilteredGroup shown{&group, {}};
    for (const auto& copy : group.copies) {
      if ((criteriaOfCopy(group, entry.groupCriteria, copy) & wanted) == 0) continue;
      results.all.add(copy.size, 1);
      if (!key.empty() && !matchesSearchKey(copy.path, key)) continue;
      results.filtered.add(copy.size, 1);
      if (group.isSelected(copy)) results.selected.add(copy.size, 1);
      shown.copies.push_back(&copy);
    }
    if (shown.copies.empty()) continue;
    results.selectionStrategies.insert(group.selection.strategy);
    if (query.copyOrdering) orderCopies(shown.copies, *query.copyOrdering);
    kept.emplace_back(groupKey(group, query.groupOrdering.criterion), std::move(shown));
  }
  const Ordering& ordering = query.groupOrdering;
  std::sort(kept.begin(), kept.end(), [&ordering](const auto& a, const auto& b) {
    const auto& x = ordering.ascending ? a.first : b.first;
    const auto& y = ordering.ascending ? b.first : a.first;
    if (std::tie(x.number, x.name) != std::tie(y.number, y.name))
      return std::tie(x.number, x.name) < std::tie(y.number, y.name);
    return a.second.group->identifier < b.second.group->identifier;  // ties in a stable order
  });
  results.matchingGroups = kept.size();
  const size_t shown = std::min(kept.size(), query.limit.value_or(kept.size()));
  results.groups.reserve(shown);
  for (size_t i = 0; i < shown; ++i) results.groups.push_back(std::move(kept[i].second));
  return results;
}

}  // namespace zarnik
