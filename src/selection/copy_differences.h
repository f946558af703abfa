// What tells the copies of a group apart: the kinds of difference, each copy's value of each
// kind (its factor) and where that value stands in the group, flags, and the analysis of each
// component of the copy's path.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "base/json.h"

namespace zarnik {

enum class EquivalenceDifference {
  album, appVersion, artist, audioBitrate, camera, cloud, dateOfAccess, dateOfCreation, dateOfModification,
  duration, extension, favorite, geoLocation, hardLinkedGroup, imageISO, imageSize, loved, name, path,
  photosUUID, playCount, playDate, rating, size, title, utiType, software,
};
inline constexpr int kEquivalenceDifferenceCount = 27;

[[nodiscard]] std::string_view identifier(EquivalenceDifference difference);  // "DateOfModification"
[[nodiscard]] std::optional<EquivalenceDifference> equivalenceDifferenceFromIdentifier(std::string_view id);
[[nodiscard]] bool isArrangable(EquivalenceDifference difference);
// Kinds kept for the system's own use and never shown in the user's comparison.
[[nodiscard]] bool isInternal(EquivalenceDifference difference);
[[nodiscard]] inline bool isUserItem(EquivalenceDifference difference) { return !isInternal(difference); }

// Where a copy's value stands among the group's values.
enum class ArrangementFactor : int { min = 1, mid = 2, max = 3, undefined = -100 };
[[nodiscard]] std::string_view identifier(ArrangementFactor factor);  // "Min", "Mid", "Max", "Undefined"

enum DuplicateDifferenceFlag : std::uint32_t {
  accessible = 1,
  writable = 2,
  nameLooksLikeCopy = 4,
  hasSuffixMatchingThumbnailPattern = 8,
  memberOfITunesLibrary = 16,
  memberOfNonDefaultITunesLibrary = 32,
  memberOfPhotosLibrary = 64,
  memberOfNonTestedMediaLibrary = 128,
  lacksArtistName = 256,
  lacksTrackTitle = 512,
  hasMaximumPlayCount = 1024,
  smartRandom = 2048,
  randomAmongEqual = 4096,
};

// One copy's value of one kind. Values of a kind compare by `value` (numbers, dates as
// nanoseconds, image sizes by pixel count, versions part by part). What is shown is made from
// the value when asked, except where the value cannot tell it (an image's width and height).
struct DuplicateFactor {
  using Value = std::variant<std::monostate, bool, std::int64_t, double, std::string, std::vector<std::uint64_t>>;
  EquivalenceDifference kind = EquivalenceDifference::name;
  Value value;
  std::string shownText;  // only where the value cannot be shown as it is
  ArrangementFactor arrangementFactor = ArrangementFactor::undefined;

  [[nodiscard]] std::string text() const;
  [[nodiscard]] Json encode() const;
  friend bool operator==(const DuplicateFactor& a, const DuplicateFactor& b) { return a.value == b.value; }
  friend bool operator<(const DuplicateFactor& a, const DuplicateFactor& b) { return a.value < b.value; }
};

// A copy's factors by kind: a short list kept in kind order (a copy has about ten), in one
// block where a tree map made an allocation per factor.
class DuplicateFactors {
 public:
  using Entry = std::pair<EquivalenceDifference, DuplicateFactor>;
  using iterator = std::vector<Entry>::iterator;
  using const_iterator = std::vector<Entry>::const_iterator;

  [[nodiscard]] iterator find(EquivalenceDifference kind);
  [[nodiscard]] const_iterator find(EquivalenceDifference kind) const;
  [[nodiscard]] size_t count(EquivalenceDifference kind) const { return find(kind) == end() ? 0 : 1; }
  // The factor of a kind, made (empty) in its place when missing.
  DuplicateFactor& operator[](EquivalenceDifference kind);
  [[nodiscard]] iterator begin() { return entries_.begin(); }
  [[nodiscard]] iterator end() { return entries_.end(); }
  [[nodiscard]] const_iterator begin() const { return entries_.begin(); }
  [[nodiscard]] const_iterator end() const { return entries_.end(); }
  [[nodiscard]] size_t size() const { return entries_.size(); }
  [[nodiscard]] bool empty() const { return entries_.empty(); }
  // Gives back the room left by growing: records are kept for every copy of a scan.
  void compact() { entries_.shrink_to_fit(); }

 private:
  std::vector<Entry> entries_;
};

// One component of a copy's path, as the copy-word and automatic-name expressions see it.
struct PathComponentPattern {
  std::string component;
  bool isLastComponent = false;
  std::string strippedComponent;
  bool hasPrefixMatchingCopyPattern = false;
  bool hasSuffixMatchingCopyPattern = false;
  int numberOfSuffixMatchingNumberPatterns = 0;
  bool isAutonamed = false;
};

struct DuplicateDifferences {
  std::uint32_t flags = 0;
  DuplicateFactors factors;
  std::vector<PathComponentPattern> pathComponentPatterns;

  [[nodiscard]] bool has(DuplicateDifferenceFlag flag) const { return (flags & flag) != 0; }
  void set(DuplicateDifferenceFlag flag, bool on = true) { flags = on ? (flags | flag) : (flags & ~flag); }
  [[nodiscard]] ArrangementFactor arrangementFactor(EquivalenceDifference kind) const;
  [[nodiscard]] std::optional<std::int64_t> hardlinkedGroupID() const;
  // What outlives the selection (the flags and the hard-link group): the other factors and the
  // path patterns are made again from the node when needed, and cost about 700 bytes a copy.
  [[nodiscard]] DuplicateDifferences keptAfterSelection() const;
  [[nodiscard]] Json encode() const;
};

// The kinds in which a group's copies differ; coded as the array of identifiers.
struct EquivalenceDifferencesInfo {
  std::set<EquivalenceDifference> differences;
  [[nodiscard]] bool contains(EquivalenceDifference kind) const { return differences.count(kind) != 0; }
  [[nodiscard]] Json encode() const;
  static EquivalenceDifferencesInfo decode(const Json& archive);
};

enum class SelectionPermission { allowed, allowedWithWarning, denied };

enum class DuplicateWarning {
  isLastUnselectedDuplicateOfEquivalence,
  isMemberOfNonDefaultITunesLibrary,
  isMemberOfNonTestedITunesLibrary,
  isMemberOfNonTestedPhotosLibrary,
  isNonAccessible,
  isNonWritable,
  isSystemFile,  // allowed with a warning: the system or an installed package needs it
};
[[nodiscard]] SelectionPermission permission(DuplicateWarning warning);
[[nodiscard]] std::string_view description(DuplicateWarning warning);

// What selecting a copy by hand would bring: its warnings and the strictest of their permissions.
struct SelectionCheck {
  std::vector<DuplicateWarning> warnings;
  SelectionPermission permission = SelectionPermission::allowed;
};
[[nodiscard]] SelectionCheck checkSelection(const DuplicateDifferences& copy, bool isLastUnselectedOfGroup);

}  // namespace zarnik
