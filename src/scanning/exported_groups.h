// The export document of found groups, read and written, and the comparison of a tested export
// with a reference one: the regression record of what a scan found and what it selected.
#pragma once

#include "base/json.h"
#include "base/result.h"
#include "scanning/detection_result.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zarnik::exported {

enum class AutoselectionComparisonResult { ok, falsePositive, falseNegative, undefined };
[[nodiscard]] std::string_view rawValue(
    AutoselectionComparisonResult result);  // "ok", "false-positive", …

struct Equivalence {
  struct Duplicate {
    std::string scanLocation;        // abbreviated, as bytes
    std::string path;                // below the scan location, as bytes
    std::optional<bool> autoselect;  // proposed for removal; absent when unknown
    // Why it is proposed or kept ("name ends in a copy number", "original", "in a never-select
    // folder", ...); absent when unknown.
    std::optional<std::string> reason;
    // For an item of a music or photo library: "music" or "photo", and the library's folder
    // (abbreviated, as bytes), written as {"library": {"kind", "path"}}.
    std::optional<std::string> libraryKind;
    std::optional<std::string> libraryPath;

    [[nodiscard]] Json encode() const;
    static Result<Duplicate> decode(const Json& json);
    friend bool operator==(const Duplicate&, const Duplicate&) = default;
  };

  std::string type;                   // the kind's export name
  std::vector<Duplicate> duplicates;  // sorted
  std::set<std::string> differences;  // identifiers of the kinds shown to users
  // Whether the members were confirmed by whole content ("verified"); absent when unknown, as
  // for stored groups.
  std::optional<bool> verified;

  [[nodiscard]] Json encode() const;
  static Result<Equivalence> decode(const Json& json);
  friend bool operator==(const Equivalence&, const Equivalence&) = default;
};

// A tested member against the reference member at the same place (none: one side lacks it).
struct DuplicateComparison {
  std::optional<Equivalence::Duplicate> testedDuplicate;
  std::optional<Equivalence::Duplicate> referenceDuplicate;
  AutoselectionComparisonResult autoselectionComparisonResult =
      AutoselectionComparisonResult::undefined;
  bool isScanLocationsEqual = false;
  [[nodiscard]] Json encode() const;
};

// A tested group against the reference group it was matched with (none: only one side has it).
struct EquivalenceComparison {
  std::optional<Equivalence> testedEquivalence;
  std::optional<Equivalence> referenceEquivalence;
  std::vector<DuplicateComparison> duplicateDifferences;
  std::vector<std::string> falsePositiveDifferences;  // differences only the tested group has
  std::vector<std::string> falseNegativeDifferences;  // differences only the reference group has

  [[nodiscard]] bool areIdentical() const {
    return testedEquivalence && referenceEquivalence && duplicateDifferences.empty() &&
           falsePositiveDifferences.empty() && falseNegativeDifferences.empty();
  }
  [[nodiscard]] Json encode() const;
  static EquivalenceComparison compare(const Equivalence& tested, const Equivalence& reference);
};

[[nodiscard]] AutoselectionComparisonResult fromDuplicates(const Equivalence::Duplicate& tested,
                                                           const Equivalence::Duplicate& reference);

[[nodiscard]] Equivalence exportedEquivalence(const scanning_service::DetectionResult& result);
// The order of groups in a document: by their first members, then kind, so that two exports of
// one tree read alike.
[[nodiscard]] bool precedes(const Equivalence& a, const Equivalence& b);
// The document's keys are its file format, read by `zarnik compare` and by people's scripts.
// The key of the document's list of groups: {"groups": [...]}. A document written before the
// list was named so holds it under another key, as its only member.
inline constexpr const char* kDocumentGroupsKey = "groups";
// The keys of a compared group's differences that only the tested or only the reference export
// shows.
inline constexpr const char* kFalsePositiveDifferencesKey = "differences only in the tested group";
inline constexpr const char* kFalseNegativeDifferencesKey =
    "differences only in the reference group";
[[nodiscard]] Json encodeDocument(const std::vector<Equivalence>& equivalences);
[[nodiscard]] Result<std::vector<Equivalence>> decodeDocument(const Json& document);
// The document of `count` groups as `dumpJson(encodeDocument(…), 2)` writes it, each group
// made by `equivalenceAt` when its turn comes: a large scan's document never stands in memory
// at once.
void writeDocument(std::FILE* out, size_t count,
                   const std::function<Equivalence(size_t)>& equivalenceAt);

// Every group of either export once: matched pairs (same kind, most members in common) and the
// groups only one side has.
[[nodiscard]] std::vector<EquivalenceComparison> compare(const std::vector<Equivalence>& tested,
                                                         const std::vector<Equivalence>& reference);

}  // namespace zarnik::exported
