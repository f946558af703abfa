// NodesValidator: which items a scan leaves alone, from the exclusion rules of the scan rules:
// by extension, by path, by regular expressions over names per membership mode. Without a rule
// a hidden item is ignored unless hidden items are included. The desktop trash is always ignored.
//
// Immutable after construction; safe to use from any thread.
#pragma once

#include "file_model/scan_rules.h"
#include "foundation/regular_expression.h"
#include "foundation/url_resolver.h"
#include "matching/matching_node.h"
#include "platform/trash_folders.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

class NodesValidator {
 public:
  // `trashFolders` and `programFolders`: folders never walked, whatever the rules say.
  NodesValidator(const ExtendedScanRules& scanRules, const OVURLResolver& resolver,
                 bool includeHiddenItems, std::optional<TrashFolders> trashFolders = std::nullopt,
                 const std::vector<std::string>& programFolders = {});
  ~NodesValidator();

  [[nodiscard]] NodeValidationReport buildValidationReport(std::string_view path,
                                                           std::string_view name,
                                                           const NodeAttributes& attributes) const;
  [[nodiscard]] std::optional<ExclusionRule> exclusionRuleForNodeLocation(
      std::string_view path, std::string_view name) const;

  // Expression errors met while building, one line each.
  [[nodiscard]] const std::vector<std::string>& expressionErrors() const {
    return expressionErrors_;
  }

 private:
  std::map<std::string, ExclusionRule> rulesByExtension_;  // lower-case extension
  std::map<std::string, ExclusionRule> rulesByPath_;       // expanded, standardized path
  std::vector<std::pair<ContainerMembershipMode, std::shared_ptr<const RegularExpression>>>
      nameExpressions_;
  std::vector<std::string> expressionErrors_;
  const OVURLResolver& resolver_;
  bool includeHiddenItems_;
  std::optional<TrashFolders> trashFolders_;
  std::vector<std::string> programFolders_;  // standardized
};

}  // namespace zarnik
