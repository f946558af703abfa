// The vocabulary of selection: strategies and the configuration a group ends with, the
// autoselection switches and path rules, the smart rules, and how selected copies are removed.
#pragma once

#include "base/json.h"
#include "base/result.h"
#include "platform/mounts.h"
#include "selection/copy_differences.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

enum class SelectionStrategy { automatic, manual, none, newer, older, random };
inline constexpr std::array<SelectionStrategy, 6> kAllSelectionStrategies = {
    SelectionStrategy::automatic, SelectionStrategy::manual, SelectionStrategy::none,
    SelectionStrategy::newer,     SelectionStrategy::older,  SelectionStrategy::random};

[[nodiscard]] std::string_view identifier(SelectionStrategy strategy);
[[nodiscard]] std::optional<SelectionStrategy> selectionStrategyFromIdentifier(std::string_view id);
// Every strategy but `manual`, which a group falls into when edited by hand.
[[nodiscard]] inline bool isAvailableForUserChoose(SelectionStrategy s) {
  return s != SelectionStrategy::manual;
}

// A set of member identifiers, sorted in one vector. Every group of a scan keeps a few of them
// (one per selection it offers), of a handful of identifiers each: a tree node per identifier
// made them six times the size of the identifiers.
class IdentifierSet {
 public:
  using const_iterator = std::vector<std::int64_t>::const_iterator;
  IdentifierSet() = default;
  IdentifierSet(std::initializer_list<std::int64_t> identifiers)
      : IdentifierSet(identifiers.begin(), identifiers.end()) {}
  template <typename Iterator>
  IdentifierSet(Iterator first, Iterator last) : identifiers_(first, last) {
    std::sort(identifiers_.begin(), identifiers_.end());
    identifiers_.erase(std::unique(identifiers_.begin(), identifiers_.end()), identifiers_.end());
  }

  void insert(std::int64_t identifier) {
    auto at = std::lower_bound(identifiers_.begin(), identifiers_.end(), identifier);
    if (at == identifiers_.end() || *at != identifier) identifiers_.insert(at, identifier);
  }
  void erase(std::int64_t identifier) {
    auto at = std::lower_bound(identifiers_.begin(), identifiers_.end(), identifier);
    if (at != identifiers_.end() && *at == identifier) identifiers_.erase(at);
  }
  [[nodiscard]] size_t count(std::int64_t identifier) const {
    return std::binary_search(identifiers_.begin(), identifiers_.end(), identifier) ? 1 : 0;
  }
  [[nodiscard]] bool empty() const { return identifiers_.empty(); }
  [[nodiscard]] size_t size() const { return identifiers_.size(); }
  [[nodiscard]] const_iterator begin() const { return identifiers_.begin(); }
  [[nodiscard]] const_iterator end() const { return identifiers_.end(); }
  friend bool operator==(const IdentifierSet&, const IdentifierSet&) = default;

 private:
  std::vector<std::int64_t> identifiers_;
};

// Which copy of a group is the original and which are selected for removal, by identifier.
struct SelectionConfiguration {
  SelectionStrategy strategy = SelectionStrategy::none;
  std::int64_t originalID = 0;
  IdentifierSet selectedIDs;

  [[nodiscard]] bool isSelected(std::int64_t id) const { return selectedIDs.count(id) != 0; }
  [[nodiscard]] bool isOriginal(std::int64_t id) const { return id == originalID; }
  [[nodiscard]] Json encode() const;
  // Nothing when a field is missing or the strategy is unknown.
  static std::optional<SelectionConfiguration> decode(const Json& archive);
  friend bool operator==(const SelectionConfiguration&, const SelectionConfiguration&) = default;
};

struct AutoselectionRules {
  bool allowAutoselectionWithinHardlinkedGroups = false;
  bool allowSelectionOfMembersOfInvalidMediaLibraries = false;
  bool selectRandomAmongEqual = false;
};

class SmartSelectionRule {
 public:
  enum class Kind {
    sameUTIType,
    sameSoftware,
    nonSoftwareAndOriginal,  // these three carry a string
    nonBiggestImageDimension,
    nonSmallestImageDimension,
    nonHighestRating,
    nonNewestModificationDate,
    nonOldestModificationDate,
    nonBiggestExactSize,
    nonSmallestExactSize,
    nonLowestBitRate,
    nonHighestBitRate,
    nonFavorite,
    nonLoved,
    nonLatestAppVersion,
  };

  explicit SmartSelectionRule(Kind kind, std::string payload = {})
      : kind_(kind), payload_(std::move(payload)) {}
  [[nodiscard]] Kind kind() const { return kind_; }
  [[nodiscard]] const std::string& payload() const { return payload_; }
  [[nodiscard]] bool hasPayload() const { return kind_ <= Kind::nonSoftwareAndOriginal; }
  [[nodiscard]] std::string_view identifier() const;
  [[nodiscard]] bool supportsExactEquivalences() const;
  [[nodiscard]] bool supportsSimilarEquivalences() const { return !supportsExactEquivalences(); }
  // The difference a group must show for the rule to match any of its copies.
  [[nodiscard]] EquivalenceDifference relevantDifference() const;
  [[nodiscard]] std::string description() const;
  // The question and title with which the rule is offered to the user.
  [[nodiscard]] std::string suggestionQuestion() const;
  [[nodiscard]] std::string suggestionTitle() const;
  // The twelve kinds without a payload, in order.
  static std::vector<SmartSelectionRule> simpleRules();
  // The rules that select the other way (the largest against the smallest, …).
  [[nodiscard]] std::vector<SmartSelectionRule> oppositeRules() const;

  // {"identifier": "NonLoved"} or {"identifier": "SameSoftware", "payload": "Photos"}.
  [[nodiscard]] Json encode() const;
  static std::optional<SmartSelectionRule> decode(const Json& archive);
  friend bool operator==(const SmartSelectionRule&, const SmartSelectionRule&) = default;

 private:
  Kind kind_;
  std::string payload_;
};

struct SmartSelectionRuleInfo {
  SmartSelectionRule rule;
  bool isEnabled = true;
  // {"rule", "isEnabled"}; nothing when the rule cannot be read.
  [[nodiscard]] Json encode() const;
  static std::optional<SmartSelectionRuleInfo> decode(const Json& archive);
  friend bool operator==(const SmartSelectionRuleInfo&, const SmartSelectionRuleInfo&) = default;
};

struct ExtendedAutoselectionRules : AutoselectionRules {
  enum class SelectionRule { alwaysSelect, neverSelect };
  std::vector<std::string> alwaysSelectPaths;  // folders whose contents are always proposed
  std::vector<std::string> neverSelectPaths;   // folders whose contents are never proposed
  std::vector<SmartSelectionRuleInfo> smartSelectionRuleInfos;

  // Every field under its own name; a missing field keeps its default, a wrong one fails.
  [[nodiscard]] Json encode() const;
  static Result<ExtendedAutoselectionRules> decode(const Json& archive);
};

struct FileCleaningOption {
  enum class Kind { moveToTrash, removePermanently, moveToFolder };
  Kind kind = Kind::moveToTrash;
  std::string folder;  // moveToFolder only

  // {"kind": "moveToTrash"}, {"kind": "removePermanently"}, {"kind": "moveToFolder", "folder":
  // path}
  [[nodiscard]] Json encode() const;
  static std::optional<FileCleaningOption> decode(const Json& archive);
  friend bool operator==(const FileCleaningOption&, const FileCleaningOption&) = default;
};

struct CleaningRules {
  bool isFakeRemove = false;
  bool removeEmptyDirectories = true;
  FileCleaningOption cleaningOption;
  bool shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal = false;
  std::map<std::string, FileCleaningOption> overriddenCleaningOptionByVolumePath;

  // The option stored for the volume the file lies on, else the general one.
  [[nodiscard]] FileCleaningOption cleaningOptionForURL(const std::string& path) const;
  // The same with the mount table read once for many paths.
  [[nodiscard]] FileCleaningOption cleaningOptionForURL(
      const std::string& path, const std::vector<MountEntry>& mounts) const;

  [[nodiscard]] Json encode() const;
  static Result<CleaningRules> decode(const Json& archive);
};

}  // namespace zarnik
