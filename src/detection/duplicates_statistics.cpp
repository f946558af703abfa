#include "detection/duplicates_statistics.h"

#include "foundation/byte_count_formatter.h"

#include <fmt/format.h>

#include <algorithm>

namespace zarnik {
namespace {

Json encodeCopies(const CopiesAndBytes& copies) {
  return Json{{"count", copies.count}, {"size", copies.size}};
}

std::string copiesText(std::int64_t count) {
  return fmt::format("{} {}", count, count == 1 ? "copy" : "copies");
}

std::vector<CriterionFigures> inPresentationOrder(std::vector<CriterionFigures> rows) {
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    return isOrderedBefore(a.criterion, b.criterion);
  });
  return rows;
}

}  // namespace

DuplicatesDetectionStat::DuplicatesDetectionStat(const ResultsModel& model) {
  for (FilteringCriterion criterion : statisticCriteria()) {
    const auto& figures = model.figures(criterion);
    if (figures.total.count > 0) statistics_.emplace(criterion, figures);
  }
}

CriterionFigures DuplicatesDetectionStat::figures(FilteringCriterion criterion) const {
  auto found = statistics_.find(criterion);
  if (found != statistics_.end()) return found->second;
  CriterionFigures none;
  none.criterion = criterion;
  return none;
}

std::vector<CriterionFigures> DuplicatesDetectionStat::meaningfulStatistics() const {
  std::vector<CriterionFigures> rows;
  for (const auto& [criterion, figures] : statistics_) {
    if (figures.total.size > 0) rows.push_back(figures);
  }
  return inPresentationOrder(std::move(rows));
}

Json DuplicatesDetectionStat::encode() const {
  Json all = Json::object();
  for (const auto& [criterion, figures] : statistics_) {
    all[std::string(identifier(criterion))] = Json{{"groups", figures.groups},
                                                   {"total", encodeCopies(figures.total)},
                                                   {"selected", encodeCopies(figures.selected)},
                                                   {"automatic", encodeCopies(figures.automatic)},
                                                   {"manual", encodeCopies(figures.manual)},
                                                   {"incorrect", encodeCopies(figures.incorrect)},
                                                   {"cleaned", encodeCopies(figures.cleaned)},
                                                   {"failed", encodeCopies(figures.failed)}};
  }
  return all;
}

std::string describeFigures(const CriterionFigures& figures) {
  std::string text = fmt::format("{} ({}) in {} group{}", copiesText(figures.total.count),
                                 formatByteCount(figures.total.size), figures.groups,
                                 figures.groups == 1 ? "" : "s");
  std::vector<std::string> parts;
  if (figures.automatic.count > 0)
    parts.push_back(fmt::format("{} proposed automatically", figures.automatic.count));
  if (figures.manual.count > 0) parts.push_back(fmt::format("{} by hand", figures.manual.count));
  if (figures.incorrect.count > 0)
    parts.push_back(fmt::format("{} kept against the proposal", figures.incorrect.count));
  if (figures.cleaned.count > 0) {
    parts.push_back(fmt::format("{} cleaned ({})", figures.cleaned.count,
                                formatByteCount(figures.cleaned.size)));
  }
  if (figures.failed.count > 0)
    parts.push_back(fmt::format("{} could not be removed", figures.failed.count));
  for (size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? ": " : ", ") + parts[i];
  return text;
}

}  // namespace zarnik
