#include "cli/cleaning_words.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fmt/format.h>

#include "base/byte_path.h"
#include "cleaning/cleaning_error.h"
#include "foundation/byte_count_formatter.h"
#include "platform/resource_values.h"

namespace zarnik::cli {
namespace {

constexpr std::string_view kToTrash = "moved to the trash";
constexpr std::string_view kDeleted = "deleted permanently";
constexpr std::string_view kLinked = "replaced by hard links to the kept copies";
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

// Reasons that mean the trash folder itself cannot be made or written on that volume.
bool meansNoUsableTrash(const std::string& reason) {
  for (int code : {EACCES, EPERM, EROFS, EXDEV, ENOTSUP, ENOSPC, EDQUOT, ENOTDIR}) {
    if (reason.find(std::strerror(code)) != std::string::npos) return true;
  }
  return false;
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
  if (rules.shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal &&
      allowsReplacementWithHardLinks(kind)) {
    return std::string(kLinked);
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

bool failedForWantOfATrash(const CleaningNote& note, const std::string& copyPath) {
  if (!note.error || note.option.kind != FileCleaningOption::Kind::moveToTrash) return false;
  if (note.error->code != static_cast<int>(CleaningErrorCode::destinationUnaccessible))
    return false;
  const std::string& reason = note.error->underlying;
  // A failure to move the copy itself names the copy: its cause is the copy's, not the trash's.
  const std::string copy = displayPath(copyPath);
  if (reason.compare(0, copy.size(), copy) == 0) return false;
  return meansNoUsableTrash(reason);
}

Result<std::string> checkedDestinationFolder(const std::string& folder, std::string_view option) {
  if (folder.empty())
    return Error::generic(fmt::format("{}: give the folder to move the copies into", option));
  if (folder.front() != '/') {
    return Error::generic(
        fmt::format("{} {}: give the folder as an absolute path", option, displayPath(folder)));
  }
  char resolved[PATH_MAX];
  if (::realpath(folder.c_str(), resolved) == nullptr) {
    return Error::generic(
        fmt::format("{} {}: {}", option, displayPath(folder), std::strerror(errno)));
  }
  auto values = readResourceValues(resolved);
  if (values.hasError())
    return Error::generic(fmt::format("{} {}", option, values.error().oneLine()));
  if (values.value().fileResourceType != FileResourceType::directory) {
    return Error::generic(fmt::format("{} {}: not a folder", option, displayPath(folder)));
  }
  return std::string(resolved);
}

}  // namespace zarnik::cli
