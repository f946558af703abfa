#include "enumeration/media_library_locations.h"

#include "base/path_components.h"
#include "platform/file_reading.h"
#include "platform/folder_listing.h"
#include "platform/xdg_directories.h"

namespace zarnik {
namespace {

constexpr std::string_view kRhythmboxFileName = "rhythmdb.xml";
constexpr std::string_view kShotwellFileName = "photo.db";

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool isFolder(const std::string& path) {
  const auto kind = folderEntryKindOf(path);
  return kind.hasValue() && kind.value() == FolderEntryKind::folder;
}

bool isFile(const std::string& path) {
  const auto kind = folderEntryKindOf(path);
  return kind.hasValue() && kind.value() == FolderEntryKind::file;
}

std::string rhythmboxDefaultFile() {
  return xdg::dataHome() + "/rhythmbox/" + std::string(kRhythmboxFileName);
}
std::string shotwellDefaultFile() {
  return xdg::dataHome() + "/shotwell/data/" + std::string(kShotwellFileName);
}

// Shotwell keeps photo.db in "data" below its own folder: the library is that folder.
std::string shotwellLibraryFolder(const std::string& databaseFile) {
  const std::string folder = parentPath(databaseFile);
  return lastPathComponent(folder) == "data" ? parentPath(folder) : folder;
}

std::optional<MediaLibraryLocation> musicLibraryFile(const std::string& file) {
  const std::string_view name = lastPathComponent(file);
  if (name == kRhythmboxFileName) {
    return MediaLibraryLocation{parentPath(file), file, MusicLibraryFormat::rhythmbox,
                                file == rhythmboxDefaultFile()};
  }
  if (name == "iTunes Library.xml" || name == "iTunes Music Library.xml") {
    return MediaLibraryLocation{parentPath(file), file, MusicLibraryFormat::iTunesPropertyList,
                                false};
  }
  return std::nullopt;
}

Error noLibrary(const std::string& path, std::string_view what) {
  return invalidLibraryURLError(
      path, std::string("no ") + std::string(what) + " library was found there");
}

}  // namespace

MediaLibraryInfo MediaLibraryLocation::libraryInfo() const {
  if (const auto* music = std::get_if<MusicLibraryFormat>(&format)) {
    if (*music == MusicLibraryFormat::rhythmbox) return rhythmboxLibraryInfo(isDefault);
    MediaLibraryInfo info;
    info.kind = MediaLibraryKind::iTunes;
    info.isTestedVersion = true;
    // The music application of this computer is none: a library copied here is the one in use.
    info.isDefault = true;
    return info;
  }
  if (std::get<PhotoLibraryFormat>(format) == PhotoLibraryFormat::shotwell)
    return shotwellLibraryInfo();
  MediaLibraryInfo info;
  info.kind = MediaLibraryKind::photos;
  info.isTestedVersion = true;
  return info;
}

Result<MediaLibraryLocation> musicLibraryAt(const std::string& given) {
  const std::string path = withoutTrailingSlashes(given);
  if (isFile(path)) {
    if (auto library = musicLibraryFile(path)) return *library;
    return noLibrary(path, "music");
  }
  if (!isFolder(path)) return invalidLibraryURLError(path, "there is no such file or folder");
  for (const char* name : {"rhythmdb.xml", "iTunes Library.xml", "iTunes Music Library.xml"}) {
    const std::string file = path + "/" + name;
    if (isFile(file)) return *musicLibraryFile(file);
  }
  return noLibrary(path, "music");
}

Result<MediaLibraryLocation> photoLibraryAt(const std::string& given) {
  const std::string path = withoutTrailingSlashes(given);
  if (isFile(path)) {
    if (lastPathComponent(path) != kShotwellFileName) return noLibrary(path, "photo");
    return MediaLibraryLocation{shotwellLibraryFolder(path), path, PhotoLibraryFormat::shotwell,
                                path == shotwellDefaultFile()};
  }
  if (!isFolder(path)) return invalidLibraryURLError(path, "there is no such file or folder");
  for (const char* name : {"/photo.db", "/data/photo.db"}) {
    if (isFile(path + name)) return photoLibraryAt(path + name);
  }
  if (isFolder(path + "/database") || isFolder(path + "/Masters")) {
    return MediaLibraryLocation{path, path, PhotoLibraryFormat::photosLibrary, false};
  }
  return noLibrary(path, "photo");
}

std::vector<MediaLibraryLocation> musicLibrariesOfCurrentUser() {
  std::vector<MediaLibraryLocation> libraries;
  if (isFile(rhythmboxDefaultFile()))
    libraries.push_back(*musicLibraryFile(rhythmboxDefaultFile()));
  return libraries;
}

std::vector<MediaLibraryLocation> photoLibrariesOfCurrentUser() {
  std::vector<MediaLibraryLocation> libraries;
  if (auto shotwell = photoLibraryAt(shotwellDefaultFile()); shotwell.hasValue())
    libraries.push_back(shotwell.value());
  return libraries;
}

}  // namespace zarnik
