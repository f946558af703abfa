#include "cli/cleaning_words.h"

#include "base/byte_path.h"
#include "cleaning/cleaning_error.h"
#include "foundation/byte_count_formatter.h"
#include "platform/file_reading.h"
#include "platform/resource_values.h"

#include <climits>
#include <fmt/format.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zarnik::cli {
namespace {

constexpr std::string_view kToTrash = "moved to the trash";
constexpr std::string_view kDeleted = "deleted permanently";
constexpr std::string_view kLinked = "replaced by hard links to the kept copies";
constexpr std::string_view kNotLinkable =
    "left in place (only exact copies of files can be replaced by hard links)";
constexpr std::string_view kToPretend = "taken through a fake cleaning (nothing is touched)";
constexpr std::string_view kPretended = "pretended to be cleaned (nothing was touched)";

std::string wayOfOption(const FileCleaningOption& option) {
  switch (option.kind) {
    case FileCleaningOption::Kind::moveToTrash:
      return std::string(kToTrash);
    case FileCleaningOption::Kind::removePermanently:
      return std::string(kDeleted);
    case FileCleaningOption::Kind::moveToFolder:
      return "moved to " + displayPath(option.folder);
  }
  return std::string(kToTrash);
}

}  // namespace

void WayCounts::add(const std::string& way, ByteCount size) {
  for (auto& known : ways_) {
    if (known.way == way) {
      ++known.count;
      known.size += size;
      return;
    }
  }
  ways_.push_back({way, 1, size});
}

std::string copiesText(size_t count, ByteCount size) {
  return fmt::format("{} cop{} ({})", count, count == 1 ? "y" : "ies", formatByteCount(size));
}

std::string WayCounts::sentence(std::string_view auxiliary) const {
  std::string text;
  for (const auto& way : ways_) {
    text += text.empty()
                ? fmt::format("{} {} {}", copiesText(way.count, way.size), auxiliary, way.way)
                : fmt::format(", {} {}", copiesText(way.count, way.size), way.way);
  }
  return text;
}

std::string WayCounts::list() const {
  std::string text;
  for (const auto& way : ways_) {
    if (!text.empty()) text += "; ";
    text += fmt::format("{}: {}", way.way, copiesText(way.count, way.size));
  }
  return text;
}

std::string plannedWay(const CleaningRules& rules, EquivalenceKind kind, const std::string& path,
                       const std::vector<MountEntry>& mounts) {
  if (rules.isFakeRemove) return std::string(kToPretend);
  if (rules.shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal) {
    return allowsReplacementWithHardLinks(kind) ? std::string(kLinked) : std::string(kNotLinkable);
  }
  return wayOfOption(rules.cleaningOptionForURL(path, mounts));
}

std::string doneWay(const CleaningNote& note) {
  if (note.isFakeRemove) return std::string(kPretended);
  for (const auto& action : note.actions) {
    if (std::holds_alternative<CleaningReplacedWithHardlinkAction>(action))
      return std::string(kLinked);
  }
  for (const auto& action : note.actions) {
    if (std::holds_alternative<CleaningMovedToTrashAction>(action)) return std::string(kToTrash);
    if (std::holds_alternative<CleaningRemovedAction>(action)) return std::string(kDeleted);
    if (std::holds_alternative<CleaningMovedAction>(action)) return wayOfOption(note.option);
  }
  return wayOfOption(note.option);
}

bool failedForWantOfATrash(const CleaningNote& note, const std::string&) {
  // With the trash as the way, only a trash that cannot be used fails with this code.
  return note.error && note.option.kind == FileCleaningOption::Kind::moveToTrash &&
         note.error->code == static_cast<int>(CleaningErrorCode::destinationUnaccessible);
}

Result<std::string> checkedDestinationFolder(const std::string& folder, std::string_view option) {
  if (folder.empty())
    return Error::generic(fmt::format("{}: give the folder to move the copies into", option));
  if (folder.front() != '/') {
    return Error::generic(
        fmt::format("{} {}: give the folder as an absolute path", option, displayPath(folder)));
  }
  auto resolvedOrError = resolvedPath(folder);
  if (resolvedOrError.hasError()) {
    return Error::generic(fmt::format("{} {}", option, resolvedOrError.error().oneLine()));
  }
  const std::string& resolved = resolvedOrError.value();
  auto values = readResourceValues(resolved);
  if (values.hasError())
    return Error::generic(fmt::format("{} {}", option, values.error().oneLine()));
  if (values.value().fileResourceType != FileResourceType::directory) {
    return Error::generic(fmt::format("{} {}: not a folder", option, displayPath(folder)));
  }
  return resolved;
}

}  // namespace zarnik::cli
