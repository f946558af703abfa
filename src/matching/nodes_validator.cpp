#include "matching/nodes_validator.h"

#include "base/byte_path.h"
#include "base/path_components.h"

#include <fmt/format.h>

#include <algorithm>

namespace zarnik {

NodesValidator::NodesValidator(const ExtendedScanRules& scanRules, const OVURLResolver& resolver,
                               bool includeHiddenItems, std::optional<TrashFolders> trashFolders,
                               const std::vector<std::string>& programFolders)
    : resolver_(resolver),
      includeHiddenItems_(includeHiddenItems),
      trashFolders_(std::move(trashFolders)) {
  for (const auto& folder : programFolders) programFolders_.push_back(standardizedPath(folder));
  rulesByExtension_ = scanRules.exclusionRulesByPathExtension();
  for (auto& [path, rule] : scanRules.exclusionRulesByPath()) {
    if (auto expanded = resolver.expandedPathForPath(path))
      rulesByPath_[standardizedPath(*expanded)] = rule;
  }
  const auto expressions = scanRules.nodeNameRegExpByMembershipMode();
  for (ContainerMembershipMode mode : kModesInCheckingOrder) {
    auto it = expressions.find(std::string(identifier(mode)));
    if (it == expressions.end() || it->second.empty()) continue;
    // The mode's expressions form one alternation.
    std::string pattern;
    for (const auto& expression : it->second) {
      if (!pattern.empty()) pattern += '|';
      pattern += "(?:" + expression + ")";
    }
    if (auto compiled = RegularExpression::compile(pattern); compiled.hasValue()) {
      nameExpressions_.emplace_back(mode, compiled.value());
    } else {
      expressionErrors_.push_back("name " + compiled.error().description);
    }
  }
}

NodesValidator::~NodesValidator() = default;

std::optional<ExclusionRule> NodesValidator::exclusionRuleForNodeLocation(
    std::string_view path, std::string_view name) const {
  if (!rulesByExtension_.empty()) {
    const std::string extension = lowercasedPathExtension(name);
    if (!extension.empty()) {
      if (auto it = rulesByExtension_.find(extension); it != rulesByExtension_.end())
        return it->second;
    }
  }
  if (!rulesByPath_.empty()) {
    if (auto it = rulesByPath_.find(standardizedPath(path)); it != rulesByPath_.end())
      return it->second;
  }
  for (const auto& [mode, expression] : nameExpressions_) {
    if (expression->search(name)) return ExclusionRule::ignoring(mode);
  }
  return std::nullopt;
}

NodeValidationReport NodesValidator::buildValidationReport(std::string_view path,
                                                           std::string_view name,
                                                           const NodeAttributes& attributes) const {
  NodeValidationReport report;
  // What was thrown away is no copy to keep: a trashed file made the original was the fault.
  if (trashFolders_ && attributes.vnodeType == VNodeType::directory &&
      trashFolders_->isTrashFolder(path)) {
    report.isIgnored = true;
    return report;
  }
  // The program's own stores and settings, open while it cleans, are no one's copies.
  if (attributes.vnodeType == VNodeType::directory &&
      std::find(programFolders_.begin(), programFolders_.end(), standardizedPath(path)) !=
          programFolders_.end()) {
    report.isIgnored = true;
    return report;
  }
  if (auto rule = exclusionRuleForNodeLocation(path, name)) {
    report.isIgnored = rule->isIgnored;
    report.membershipMode = rule->membershipMode;
    for (const auto& inside : rule->pathsToEnumerate) {
      if (auto expanded = resolver_.expandedPathForPath(inside))
        report.pathsToEnumerate.push_back(*expanded);
    }
    return report;
  }
  report.isIgnored = attributes.isHidden && !includeHiddenItems_;
  return report;
}

}  // namespace zarnik
