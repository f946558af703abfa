#include "scanning/exported_groups.h"

#include "base/byte_path.h"

#include <algorithm>
#include <tuple>

namespace zarnik::exported {
namespace {

Result<std::string> stringMember(const Json& json, std::string_view key) {
  const Json* value = json.is_object() ? jsonMember(json, key) : nullptr;
  if (value == nullptr || !value->is_string()) {
    return Error::generic("The export has no text \"" + std::string(key) +
                          "\" where one is needed.");
  }
  return jsonTextToBytes(value->get<std::string>());
}

// The member of `group` at the same place as `member`, if it has one.
const Equivalence::Duplicate* memberAt(const Equivalence& group,
                                       const Equivalence::Duplicate& member) {
  auto it = std::find_if(group.duplicates.begin(), group.duplicates.end(), [&](const auto& other) {
    return other.scanLocation == member.scanLocation && other.path == member.path;
  });
  return it == group.duplicates.end() ? nullptr : &*it;
}

size_t membersInCommon(const Equivalence& a, const Equivalence& b) {
  return static_cast<size_t>(
      std::count_if(a.duplicates.begin(), a.duplicates.end(),
                    [&](const auto& member) { return memberAt(b, member) != nullptr; }));
}

Json namesJson(const std::vector<std::string>& names) {
  Json json = Json::array();
  for (const auto& name : names) json.push_back(name);
  return json;
}

}  // namespace

std::string_view rawValue(AutoselectionComparisonResult result) {
  switch (result) {
    case AutoselectionComparisonResult::ok:
      return "ok";
    case AutoselectionComparisonResult::falsePositive:
      return "false-positive";
    case AutoselectionComparisonResult::falseNegative:
      return "false-negative";
    case AutoselectionComparisonResult::undefined:
      break;
  }
  return "undefined";
}

AutoselectionComparisonResult fromDuplicates(const Equivalence::Duplicate& tested,
                                             const Equivalence::Duplicate& reference) {
  if (!tested.autoselect || !reference.autoselect) return AutoselectionComparisonResult::undefined;
  if (*tested.autoselect == *reference.autoselect) return AutoselectionComparisonResult::ok;
  return *tested.autoselect ? AutoselectionComparisonResult::falsePositive
                            : AutoselectionComparisonResult::falseNegative;
}

Json Equivalence::Duplicate::encode() const {
  Json json{{"scanLocation", bytesJson(scanLocation)}, {"path", bytesJson(path)}};
  if (autoselect) json["autoselect"] = *autoselect;
  if (reason) json["reason"] = *reason;
  if (libraryKind)
    json["library"] = Json{{"kind", *libraryKind}, {"path", bytesJson(libraryPath.value_or(""))}};
  return json;
}

Result<Equivalence::Duplicate> Equivalence::Duplicate::decode(const Json& json) {
  Duplicate duplicate;
  ZK_ASSIGN_OR_RETURN(duplicate.scanLocation, stringMember(json, "scanLocation"));
  ZK_ASSIGN_OR_RETURN(duplicate.path, stringMember(json, "path"));
  if (const Json* autoselect = jsonMember(json, "autoselect")) {
    if (!autoselect->is_boolean())
      return Error::generic("The export's \"autoselect\" is not true or false.");
    duplicate.autoselect = autoselect->get<bool>();
  }
  if (const Json* reason = jsonMember(json, "reason"); reason != nullptr && reason->is_string()) {
    duplicate.reason = reason->get<std::string>();
  }
  if (const Json* library = jsonMember(json, "library"); library && library->is_object()) {
    duplicate.libraryKind = jsonString(*library, "kind");
    if (const Json* path = jsonMember(*library, "path"))
      duplicate.libraryPath = bytesFromJson(*path);
  }
  return duplicate;
}

Json DuplicateComparison::encode() const {
  Json json{{"autoselect", rawValue(autoselectionComparisonResult)}};
  json["duplicate"] = testedDuplicate ? testedDuplicate->encode() : Json();
  json["reference duplicate"] = referenceDuplicate ? referenceDuplicate->encode() : Json();
  return json;
}

Json Equivalence::encode() const {
  Json members = Json::array();
  for (const auto& duplicate : duplicates) members.push_back(duplicate.encode());
  Json names = Json::array();
  for (const auto& name : differences) names.push_back(name);
  Json json{{"type", type}};
  if (verified) json["verified"] = *verified;
  json["duplicates"] = std::move(members);
  json["differences"] = std::move(names);
  return json;
}

Result<Equivalence> Equivalence::decode(const Json& json) {
  Equivalence equivalence;
  ZK_ASSIGN_OR_RETURN(equivalence.type, stringMember(json, "type"));
  const Json* members = jsonMember(json, "duplicates");
  const Json* names = jsonMember(json, "differences");
  if (members == nullptr || !members->is_array() || names == nullptr || !names->is_array()) {
    return Error::generic("An exported group needs the lists \"duplicates\" and \"differences\".");
  }
  for (const auto& member : *members) {
    ZK_ASSIGN_OR_RETURN(Duplicate duplicate, Duplicate::decode(member));
    equivalence.duplicates.push_back(std::move(duplicate));
  }
  if (const Json* verified = jsonMember(json, "verified")) {
    if (!verified->is_boolean())
      return Error::generic("The export's \"verified\" is not true or false.");
    equivalence.verified = verified->get<bool>();
  }
  for (const auto& name : *names) {
    if (!name.is_string()) return Error::generic("An exported difference is not a name.");
    equivalence.differences.insert(name.get<std::string>());
  }
  return equivalence;
}

EquivalenceComparison EquivalenceComparison::compare(const Equivalence& tested,
                                                     const Equivalence& reference) {
  EquivalenceComparison difference;
  difference.testedEquivalence = tested;
  difference.referenceEquivalence = reference;
  std::set_difference(tested.differences.begin(), tested.differences.end(),
                      reference.differences.begin(), reference.differences.end(),
                      std::back_inserter(difference.falsePositiveDifferences));
  std::set_difference(reference.differences.begin(), reference.differences.end(),
                      tested.differences.begin(), tested.differences.end(),
                      std::back_inserter(difference.falseNegativeDifferences));
  for (const auto& member : tested.duplicates) {
    const Equivalence::Duplicate* match = memberAt(reference, member);
    if (match == nullptr) {
      difference.duplicateDifferences.push_back(
          {member, std::nullopt, AutoselectionComparisonResult::undefined, false});
      continue;
    }
    const auto result = fromDuplicates(member, *match);
    // A selection known on one side only is no regression; a different one is.
    if (result == AutoselectionComparisonResult::falsePositive ||
        result == AutoselectionComparisonResult::falseNegative) {
      difference.duplicateDifferences.push_back({member, *match, result, true});
    }
  }
  for (const auto& member : reference.duplicates) {
    if (memberAt(tested, member) == nullptr)
      difference.duplicateDifferences.push_back(
          {std::nullopt, member, AutoselectionComparisonResult::undefined, false});
  }
  return difference;
}

Json EquivalenceComparison::encode() const {
  const Equivalence& shown = testedEquivalence ? *testedEquivalence : *referenceEquivalence;
  Json found = Json::array();
  if (testedEquivalence) {
    for (const auto& duplicate : testedEquivalence->duplicates) found.push_back(duplicate.encode());
  }
  Json duplicates = Json::array();
  for (const auto& duplicate : duplicateDifferences) duplicates.push_back(duplicate.encode());
  Json json{{"type", shown.type},
            {"found duplicates", std::move(found)},
            {kFalsePositiveDifferencesKey, namesJson(falsePositiveDifferences)},
            {kFalseNegativeDifferencesKey, namesJson(falseNegativeDifferences)},
            {"duplicates diffs", std::move(duplicates)}};
  if (!referenceEquivalence) json["reference"] = "missing";
  if (!testedEquivalence) json["tested"] = "missing";
  return json;
}

// The kind and abbreviated folder of the library a node is an item of.
std::optional<std::pair<std::string, std::string>> libraryOf(const ZKBaseNode& node) {
  std::shared_ptr<const ZKDirectoryNode> library;
  std::string kind;
  if (const auto* track = dynamic_cast<const ZKITunesLibraryItemNode*>(&node)) {
    library = track->mediaLibraryNode();
    kind = "music";
  } else if (const auto* picture = dynamic_cast<const ZKPhotosLibraryItemNode*>(&node)) {
    library = picture->mediaLibraryNode();
    kind = "photo";
  } else {
    return std::nullopt;
  }
  return std::make_pair(kind, library ? library->location().abbreviatedPath() : std::string());
}

Equivalence exportedEquivalence(const scanning_service::DetectionResult& result) {
  Equivalence equivalence;
  equivalence.type = std::string(exportName(result.equivalence.equivalenceKind));
  equivalence.verified = result.verified;
  const auto& selection = result.selectionConfigurations;
  for (const auto& duplicate : result.equivalence.duplicates) {
    const auto& scanLocation = duplicate.node->location().scanLocation();
    Equivalence::Duplicate member;
    member.scanLocation = scanLocation ? scanLocation->abbreviatedPath() : std::string();
    member.path = duplicate.node->location().relativePath();
    if (auto library = libraryOf(*duplicate.node)) {
      member.libraryKind = library->first;
      member.libraryPath = std::move(library->second);
    }
    if (selection) {
      const auto& current = selection->currentSelectionConfiguration;
      member.autoselect = current.isSelected(duplicate.identifier);
      auto decision = selection->modeByDuplicateID.find(duplicate.identifier);
      member.reason = copyReason(current, duplicate.identifier,
                                 decision == selection->modeByDuplicateID.end()
                                     ? std::nullopt
                                     : std::optional<AutoselectionModeDecision>(decision->second));
    }
    equivalence.duplicates.push_back(std::move(member));
  }
  std::sort(equivalence.duplicates.begin(), equivalence.duplicates.end(),
            [](const auto& a, const auto& b) {
              return std::tie(a.scanLocation, a.path) < std::tie(b.scanLocation, b.path);
            });
  for (EquivalenceDifference kind : result.equivalenceDifferences.differences) {
    if (isUserItem(kind)) equivalence.differences.insert(std::string(identifier(kind)));
  }
  return equivalence;
}

bool precedes(const Equivalence& a, const Equivalence& b) {
  if (a.duplicates.empty() || b.duplicates.empty())
    return a.duplicates.size() < b.duplicates.size();
  const auto& first = a.duplicates.front();
  const auto& other = b.duplicates.front();
  return std::tie(first.scanLocation, first.path, a.type) <
         std::tie(other.scanLocation, other.path, b.type);
}

Json encodeDocument(const std::vector<Equivalence>& equivalences) {
  Json list = Json::array();
  for (const auto& equivalence : equivalences) list.push_back(equivalence.encode());
  return Json{{kDocumentGroupsKey, std::move(list)}};
}

void writeDocument(std::FILE* out, size_t count,
                   const std::function<Equivalence(size_t)>& equivalenceAt) {
  if (count == 0) {
    std::fputs(dumpJson(encodeDocument({}), 2).c_str(), out);
    return;
  }
  std::fprintf(out, "{\n  \"%s\": [\n", kDocumentGroupsKey);
  for (size_t i = 0; i < count; ++i) {
    // Each group as the whole document would show it: two levels in.
    std::string group = "    " + dumpJson(equivalenceAt(i).encode(), 2);
    for (size_t at = group.find('\n'); at != std::string::npos; at = group.find('\n', at + 5))
      group.insert(at + 1, "    ");
    std::fputs(group.c_str(), out);
    std::fputs(i + 1 < count ? ",\n" : "\n", out);
  }
  std::fputs("  ]\n}", out);
}

Result<std::vector<Equivalence>> decodeDocument(const Json& document) {
  const Json* list = nullptr;
  if (document.is_object()) {
    list = jsonMember(document, kDocumentGroupsKey);
    if (list == nullptr && document.size() == 1) list = &document.begin().value();
  }
  if (list == nullptr || !list->is_array())
    return Error::generic(
        "Not groups exported by zarnik (scan --json or results --json): no list of groups in it.");
  std::vector<Equivalence> equivalences;
  for (const auto& item : *list) {
    ZK_ASSIGN_OR_RETURN(Equivalence equivalence, Equivalence::decode(item));
    equivalences.push_back(std::move(equivalence));
  }
  return equivalences;
}

std::vector<EquivalenceComparison> compare(const std::vector<Equivalence>& tested,
                                           const std::vector<Equivalence>& reference) {
  std::vector<EquivalenceComparison> differences;
  std::vector<bool> referenceUsed(reference.size(), false);
  for (const auto& group : tested) {
    size_t best = reference.size();
    size_t bestCommon = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
      if (referenceUsed[i] || reference[i].type != group.type) continue;
      const size_t common = membersInCommon(group, reference[i]);
      if (common > bestCommon) {
        best = i;
        bestCommon = common;
      }
    }
    if (best == reference.size()) {
      EquivalenceComparison alone;
      alone.testedEquivalence = group;
      differences.push_back(std::move(alone));
      continue;
    }
    referenceUsed[best] = true;
    differences.push_back(EquivalenceComparison::compare(group, reference[best]));
  }
  for (size_t i = 0; i < reference.size(); ++i) {
    if (referenceUsed[i]) continue;
    EquivalenceComparison alone;
    alone.referenceEquivalence = reference[i];
    differences.push_back(std::move(alone));
  }
  return differences;
}

}  // namespace zarnik::exported
