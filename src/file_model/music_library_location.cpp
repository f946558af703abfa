#include "file_model/music_library_location.h"

#include "base/path_components.h"
#include "file_model/media_info.h"
#include "platform/file_reading.h"
#include "platform/file_state.h"
#include "platform/property_list.h"

namespace zarnik {
namespace {

bool holdsLibraryFile(const std::string& folder) {
  if (pathExists(appendingPathComponent(folder, "iTunes Library.xml"))) return true;
  for (const auto& name : BundleInfo::iTunesDBFileNames()) {
    if (pathExists(appendingPathComponent(folder, name))) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> MusicLibraryLocation::modernPathOfCurrentITunesLibrary() const {
  const std::string music = appendingPathComponent(resolver_.homeURL(), "Music");
  for (const char* candidate : {"Music", "iTunes", ""}) {
    const std::string folder =
        *candidate == '\0' ? music : appendingPathComponent(music, candidate);
    if (isFolder(folder) && holdsLibraryFile(folder)) {
      return resolver_.abbreviatedPathForURL(folder, /*isDirectory=*/true);
    }
  }
  return std::nullopt;
}

std::optional<std::string> MusicLibraryLocation::legacyPathOfCurrentITunesLibrary() const {
  const std::string plistPath =
      appendingPathComponent(resolver_.homeURL(), "Library/Preferences/com.apple.iApps.plist");
  auto plist = readPropertyListFile(plistPath);
  if (plist.hasError()) return std::nullopt;
  const Json* recent = jsonMember(plist.value(), "iTunesRecentDatabasePaths");
  if (recent == nullptr || !recent->is_array() || recent->empty()) return std::nullopt;
  auto first = bytesFromJson((*recent)[0]);
  if (!first || first->empty()) return std::nullopt;
  // Entries are written like "~/Music/iTunes/iTunes Library.xml".
  const std::string expanded = resolver_.expandedPathForPath(*first).value_or(*first);
  return resolver_.abbreviatedPathForURL(parentPath(expanded), /*isDirectory=*/true);
}

std::optional<std::string> MusicLibraryLocation::pathOfCurrentITunesLibrary() const {
  if (auto modern = modernPathOfCurrentITunesLibrary()) return modern;
  return legacyPathOfCurrentITunesLibrary();
}

std::optional<std::string> MusicLibraryLocation::urlOfMediaFolderLocation() const {
  auto library = pathOfCurrentITunesLibrary();
  if (!library) return std::nullopt;
  auto folder = resolver_.expandedPathForPath(*library);
  if (!folder) return std::nullopt;
  for (const char* name : {"iTunes Media", "Media", "iTunes Music"}) {
    const std::string media = appendingPathComponent(*folder, name);
    if (isFolder(media)) return media;
  }
  return std::nullopt;
}

}  // namespace zarnik
