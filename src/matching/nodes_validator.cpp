#include "matching/nodes_validator.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <fmt/format.h>

#include "base/byte_path.h"
#include "base/path_components.h"

namespace zarnik {

// A compiled case-insensitive Unicode expression searched anywhere in a name. Names that are
// not valid UTF-8 are still searched (invalid sequences never match a character).
class NameExpression {
 public:
  static std::unique_ptr<NameExpression> compile(const std::string& pattern, std::string* error) {
    int code = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                         PCRE2_UTF | PCRE2_CASELESS | PCRE2_MATCH_INVALID_UTF, &code, &offset, nullptr);
    if (compiled == nullptr) {
      PCRE2_UCHAR message[256];
      pcre2_get_error_message(code, message, sizeof(message));
      *error = fmt::format("name expression \"{}\": {} at offset {}", displayPath(pattern),
                           reinterpret_cast<const char*>(message), offset);
      return nullptr;
    }
    pcre2_jit_compile(compiled, PCRE2_JIT_COMPLETE);
    return std::unique_ptr<NameExpression>(new NameExpression(compiled));
  }
  ~NameExpression() { pcre2_code_free(code_); }
  NameExpression(const NameExpression&) = delete;
  NameExpression& operator=(const NameExpression&) = delete;

  [[nodiscard]] bool search(std::string_view name) const {
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(code_, nullptr);
    const int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(name.data()), name.size(), 0, 0, data, nullptr);
    pcre2_match_data_free(data);
    return rc >= 0;
  }

 private:
  explicit NameExpression(pcre2_code* code) : code_(code) {}
  pcre2_code* code_;
};

NodesValidator::NodesValidator(const ExtendedScanRules& scanRules, const OVURLResolver& resolver,
                               bool includeHiddenItems)
    : resolver_(resolver), includeHiddenItems_(includeHiddenItems) {
  rulesByExtension_ = scanRules.exclusionRulesByPathExtension();
  for (auto& [path, rule] : scanRules.exclusionRulesByPath()) {
    if (auto expanded = resolver.expandedPathForPath(path)) rulesByPath_[standardizedPath(*expanded)] = rule;
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
    std::string error;
    if (auto compiled = NameExpression::compile(pattern, &error)) {
      nameExpressions_.emplace_back(mode, std::move(compiled));
    } else {
      expressionErrors_.push_back(std::move(error));
    }
  }
}

NodesValidator::~NodesValidator() = default;

std::optional<ExclusionRule> NodesValidator::exclusionRuleForNodeLocation(std::string_view path,
                                                                          std::string_view name) const {
  if (!rulesByExtension_.empty()) {
    const std::string extension = lowercasedPathExtension(name);
    if (!extension.empty()) {
      if (auto it = rulesByExtension_.find(extension); it != rulesByExtension_.end()) return it->second;
    }
  }
  if (!rulesByPath_.empty()) {
    if (auto it = rulesByPath_.find(standardizedPath(path)); it != rulesByPath_.end()) return it->second;
  }
  for (const auto& [mode, expression] : nameExpressions_) {
    if (expression->search(name)) return ExclusionRule::ignoring(mode);
  }
  return std::nullopt;
}

NodeValidationReport NodesValidator::buildValidationReport(std::string_view path, std::string_view name,
                                                           const NodeAttributes& attributes) const {
  NodeValidationReport report;
  if (auto rule = exclusionRuleForNodeLocation(path, name)) {
    report.isIgnored = rule->isIgnored;
    report.membershipMode = rule->membershipMode;
    for (const auto& inside : rule->pathsToEnumerate) {
      if (auto expanded = resolver_.expandedPathForPath(inside)) report.pathsToEnumerate.push_back(*expanded);
    }
    return report;
  }
  report.isIgnored = attributes.isHidden && !includeHiddenItems_;
  return report;
}

NodesValidator::PreScan NodesValidator::canSkipLocationOnPreScan(std::string_view path) const {
  PreScan result;
  auto it = rulesByPath_.find(standardizedPath(path));
  if (it == rulesByPath_.end()) return result;
  result.canSkip = it->second.isIgnored && it->second.isInternal;
  for (const auto& inside : it->second.pathsToEnumerate) {
    if (auto expanded = resolver_.expandedPathForPath(inside)) result.pathsToEnumerate.push_back(*expanded);
  }
  return result;
}

}  // namespace zarnik
