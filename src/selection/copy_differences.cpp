#include "selection/copy_differences.h"

#include "base/date.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <array>
#include <tuple>
#include <type_traits>

namespace zarnik {
namespace {

constexpr std::array<std::string_view, kEquivalenceDifferenceCount> kIdentifiers = {
    "Album",        "AppVersion",      "Artist",
    "AudioBitrate", "Camera",          "Cloud",
    "DateOfAccess", "DateOfCreation",  "DateOfModification",
    "Duration",     "Extension",       "Favorite",
    "GeoLocation",  "HardLinkedGroup", "ImageISO",
    "ImageSize",    "Loved",           "Name",
    "Path",         "PhotosUUID",      "PlayCount",
    "PlayDate",     "Rating",          "Size",
    "Title",        "UTIType",         "Software",
};

}  // namespace

std::string_view identifier(EquivalenceDifference difference) {
  return kIdentifiers[static_cast<size_t>(difference)];
}

std::optional<EquivalenceDifference> equivalenceDifferenceFromIdentifier(std::string_view id) {
  for (size_t i = 0; i < kIdentifiers.size(); ++i) {
    if (kIdentifiers[i] == id) return static_cast<EquivalenceDifference>(i);
  }
  return std::nullopt;
}

bool isArrangable(EquivalenceDifference difference) {
  using D = EquivalenceDifference;
  switch (difference) {
    case D::appVersion:
    case D::audioBitrate:
    case D::dateOfAccess:
    case D::dateOfCreation:
    case D::dateOfModification:
    case D::duration:
    case D::imageISO:
    case D::imageSize:
    case D::playCount:
    case D::playDate:
    case D::rating:
    case D::size:
      return true;
    default:
      return false;
  }
}

bool isInternal(EquivalenceDifference difference) {
  return difference == EquivalenceDifference::hardLinkedGroup ||
         difference == EquivalenceDifference::photosUUID ||
         difference == EquivalenceDifference::dateOfAccess;
}

std::string_view identifier(ArrangementFactor factor) {
  switch (factor) {
    case ArrangementFactor::min:
      return "Min";
    case ArrangementFactor::mid:
      return "Mid";
    case ArrangementFactor::max:
      return "Max";
    case ArrangementFactor::undefined:
      break;
  }
  return "Undefined";
}

std::string DuplicateFactor::text() const {
  if (!shownText.empty()) return shownText;
  const bool isDate = kind == EquivalenceDifference::dateOfAccess ||
                      kind == EquivalenceDifference::dateOfCreation ||
                      kind == EquivalenceDifference::dateOfModification ||
                      kind == EquivalenceDifference::playDate;
  return std::visit(
      [&](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return v;
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? "yes" : "no";
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          return isDate ? iso8601(Date(std::chrono::nanoseconds(v))) : std::to_string(v);
        } else if constexpr (std::is_same_v<T, double>) {
          return fmt::format("{}", v);
        } else if constexpr (std::is_same_v<T, std::vector<std::uint64_t>>) {
          return fmt::format("{}", fmt::join(v, "."));
        } else {
          return std::string();
        }
      },
      value);
}

Json DuplicateFactor::encode() const {
  Json json = Json::object();
  json["kind"] = identifier(kind);
  json["value"] = text();
  if (arrangementFactor != ArrangementFactor::undefined)
    json["arrangement"] = identifier(arrangementFactor);
  return json;
}

namespace {
bool kindBefore(const DuplicateFactors::Entry& entry, EquivalenceDifference kind) {
  return entry.first < kind;
}
}  // namespace

DuplicateFactors::iterator DuplicateFactors::find(EquivalenceDifference kind) {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), kind, kindBefore);
  return it != entries_.end() && it->first == kind ? it : entries_.end();
}

DuplicateFactors::const_iterator DuplicateFactors::find(EquivalenceDifference kind) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), kind, kindBefore);
  return it != entries_.end() && it->first == kind ? it : entries_.end();
}

DuplicateFactor& DuplicateFactors::operator[](EquivalenceDifference kind) {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), kind, kindBefore);
  if (it == entries_.end() || it->first != kind) {
    it = entries_.emplace(it, std::piecewise_construct, std::forward_as_tuple(kind),
                          std::forward_as_tuple());
    it->second.kind = kind;
  }
  return it->second;
}

ArrangementFactor DuplicateDifferences::arrangementFactor(EquivalenceDifference kind) const {
  auto it = factors.find(kind);
  return it == factors.end() ? ArrangementFactor::undefined : it->second.arrangementFactor;
}

std::optional<std::int64_t> DuplicateDifferences::hardlinkedGroupID() const {
  auto it = factors.find(EquivalenceDifference::hardLinkedGroup);
  if (it == factors.end()) return std::nullopt;
  if (const auto* id = std::get_if<std::int64_t>(&it->second.value)) return *id;
  return std::nullopt;
}

DuplicateDifferences DuplicateDifferences::keptAfterSelection() const {
  DuplicateDifferences kept;
  kept.flags = flags;
  if (auto it = factors.find(EquivalenceDifference::hardLinkedGroup); it != factors.end()) {
    kept.factors[EquivalenceDifference::hardLinkedGroup] = it->second;
  }
  kept.factors.compact();
  return kept;
}

Json DuplicateDifferences::encode() const {
  Json json = Json::object();
  json["flags"] = flags;
  Json values = Json::array();
  for (const auto& [kind, factor] : factors) values.push_back(factor.encode());
  json["factors"] = std::move(values);
  return json;
}

Json EquivalenceDifferencesInfo::encode() const {
  Json json = Json::array();
  for (EquivalenceDifference kind : differences) json.push_back(identifier(kind));
  return json;
}

EquivalenceDifferencesInfo EquivalenceDifferencesInfo::decode(const Json& archive) {
  EquivalenceDifferencesInfo info;
  if (!archive.is_array()) return info;
  for (const auto& item : archive) {
    if (!item.is_string()) continue;
    if (auto kind = equivalenceDifferenceFromIdentifier(item.get<std::string>()))
      info.differences.insert(*kind);
  }
  return info;
}

SelectionPermission permission(DuplicateWarning warning) {
  return warning == DuplicateWarning::isLastUnselectedDuplicateOfEquivalence ||
                 warning == DuplicateWarning::isSystemFile
             ? SelectionPermission::allowedWithWarning
             : SelectionPermission::denied;
}

std::string_view description(DuplicateWarning warning) {
  switch (warning) {
    case DuplicateWarning::isLastUnselectedDuplicateOfEquivalence:
      return "Last copy of the group not selected for removal";
    case DuplicateWarning::isMemberOfNonDefaultITunesLibrary:
      return "Members of non-default iTunes library may not be cleaned without corruption of "
             "library";
    case DuplicateWarning::isMemberOfNonTestedITunesLibrary:
      return "We did not test this version of iTunes library yet. Cleanup denied to prevent data "
             "loss";
    case DuplicateWarning::isMemberOfNonTestedPhotosLibrary:
      return "We did not test this version of Photos library yet. Cleanup denied to prevent data "
             "loss";
    case DuplicateWarning::isNonAccessible:
      return "File is no longer accessible.";
    case DuplicateWarning::isNonWritable:
      return "The permissions of this item do not allow changing or removing it; change them in "
             "the file manager.";
    case DuplicateWarning::isSystemFile:
      return "a system file: removing it may break a program";
  }
  return "";
}

SelectionCheck checkSelection(const DuplicateDifferences& copy, bool isLastUnselectedOfGroup) {
  SelectionCheck check;
  const auto warn = [&check](DuplicateWarning warning) {
    check.warnings.push_back(warning);
    check.permission = std::max(check.permission, permission(warning));
  };
  if (isLastUnselectedOfGroup) warn(DuplicateWarning::isLastUnselectedDuplicateOfEquivalence);
  if (copy.has(memberOfNonDefaultITunesLibrary))
    warn(DuplicateWarning::isMemberOfNonDefaultITunesLibrary);
  if (copy.has(memberOfNonTestedMediaLibrary) && copy.has(memberOfITunesLibrary)) {
    warn(DuplicateWarning::isMemberOfNonTestedITunesLibrary);
  }
  if (copy.has(memberOfNonTestedMediaLibrary) && copy.has(memberOfPhotosLibrary)) {
    warn(DuplicateWarning::isMemberOfNonTestedPhotosLibrary);
  }
  if (!copy.has(accessible)) warn(DuplicateWarning::isNonAccessible);
  if (!copy.has(writable)) warn(DuplicateWarning::isNonWritable);
  return check;
}

}  // namespace zarnik
