#include "platform/mime_database.h"

#include "base/path_components.h"
#include "platform/xdg_directories.h"

#include <algorithm>
#include <fnmatch.h>
#include <fstream>

namespace zarnik {
namespace {

bool hasWildcards(std::string_view text) {
  return text.find_first_of("*?[") != std::string_view::npos;
}

// Types the system must recognise even without shared-mime-info: extension → type.
struct BuiltInGlob {
  const char* extension;
  const char* type;
};
constexpr BuiltInGlob kBuiltInGlobs[] = {
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"jpe", "image/jpeg"},
    {"png", "image/png"},
    {"gif", "image/gif"},
    {"bmp", "image/bmp"},
    {"tif", "image/tiff"},
    {"tiff", "image/tiff"},
    {"webp", "image/webp"},
    {"heic", "image/heif"},
    {"heif", "image/heif"},
    {"avif", "image/avif"},
    {"svg", "image/svg+xml"},
    {"cr2", "image/x-canon-cr2"},
    {"nef", "image/x-nikon-nef"},
    {"arw", "image/x-sony-arw"},
    {"dng", "image/x-adobe-dng"},
    {"mp3", "audio/mpeg"},
    {"m4a", "audio/mp4"},
    {"aac", "audio/aac"},
    {"flac", "audio/flac"},
    {"wav", "audio/x-wav"},
    {"aif", "audio/x-aiff"},
    {"aiff", "audio/x-aiff"},
    {"ogg", "audio/ogg"},
    {"oga", "audio/ogg"},
    {"opus", "audio/x-opus+ogg"},
    {"wma", "audio/x-ms-wma"},
    {"mp4", "video/mp4"},
    {"m4v", "video/mp4"},
    {"mov", "video/quicktime"},
    {"mkv", "video/x-matroska"},
    {"avi", "video/x-msvideo"},
    {"webm", "video/webm"},
    {"wmv", "video/x-ms-wmv"},
    {"mpg", "video/mpeg"},
    {"mpeg", "video/mpeg"},
    {"zip", "application/zip"},
    {"tar", "application/x-tar"},
    {"gz", "application/gzip"},
    {"tar.gz", "application/x-compressed-tar"},
    {"tgz", "application/x-compressed-tar"},
    {"bz2", "application/x-bzip2"},
    {"xz", "application/x-xz"},
    {"7z", "application/x-7z-compressed"},
    {"rar", "application/vnd.rar"},
    {"iso", "application/x-cd-image"},
    {"dmg", "application/x-apple-diskimage"},
    {"pdf", "application/pdf"},
    {"txt", "text/plain"},
    {"md", "text/markdown"},
    {"csv", "text/csv"},
    {"html", "text/html"},
    {"htm", "text/html"},
    {"rtf", "application/rtf"},
    {"doc", "application/msword"},
    {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    {"xls", "application/vnd.ms-excel"},
    {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    {"ppt", "application/vnd.ms-powerpoint"},
    {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
    {"odt", "application/vnd.oasis.opendocument.text"},
    {"ods", "application/vnd.oasis.opendocument.spreadsheet"},
    {"odp", "application/vnd.oasis.opendocument.presentation"},
    {"pages", "application/vnd.apple.pages"},
    {"numbers", "application/vnd.apple.numbers"},
    {"key", "application/vnd.apple.keynote"},
    {"epub", "application/epub+zip"},
    {"ipa", "application/x-ios-app"},
};

// Directory extensions that make a folder a bundle (a package shown as one item).
struct BuiltInDirectory {
  const char* extension;
  std::string_view type;
};
constexpr BuiltInDirectory kDirectoryTypes[] = {
    {"app", types::kApplicationBundle},
    {"photoslibrary", types::kPhotosLibrary},
    {"photolibrary", types::kIPhotoLibrary},
    {"migratedphotolibrary", types::kIPhotoLibrary},
    {"aplibrary", types::kApertureLibrary},
    {"bundle", types::kPackage},
    {"framework", types::kPackage},
    {"plugin", types::kPackage},
    {"kext", types::kPackage},
    {"xpc", types::kPackage},
    {"appex", types::kPackage},
    {"rtfd", types::kPackage},
    {"pages", types::kPagesDocument},
    {"numbers", types::kNumbersDocument},
    {"key", "application/vnd.apple.keynote"},
    {"musiclibrary", types::kPackage},
};

// Subclass relations the rest of the system relies on, whatever the database says.
constexpr std::pair<std::string_view, std::string_view> kBuiltInSubclasses[] = {
    {"text/html", "text/plain"},
    {"text/csv", "text/plain"},
    {"text/markdown", "text/plain"},
    {"application/x-compressed-tar", "application/gzip"},
    {"application/vnd.openxmlformats-officedocument.wordprocessingml.document", "application/zip"},
    {types::kApplicationBundle, types::kPackage},
    {types::kPhotosLibrary, types::kPackage},
    {types::kIPhotoLibrary, types::kPackage},
    {types::kApertureLibrary, types::kPackage},
    {types::kPagesDocument, types::kPackage},
    {types::kNumbersDocument, types::kPackage},
    {"application/vnd.apple.keynote", types::kPackage},
};

}  // namespace

const MimeDatabase& MimeDatabase::shared() {
  static const MimeDatabase* database = new MimeDatabase(load(xdg::dataDirs()));
  return *database;
}

MimeDatabase MimeDatabase::load(const std::vector<std::string>& dataDirs) {
  MimeDatabase database;
  for (const auto& dir : dataDirs) {
    const std::string mimeDir = appendingPathComponent(dir, "mime");
    database.loadGlobs2(appendingPathComponent(mimeDir, "globs2"));
    database.loadPairs(appendingPathComponent(mimeDir, "subclasses"), /*aliases=*/false);
    database.loadPairs(appendingPathComponent(mimeDir, "aliases"), /*aliases=*/true);
  }
  database.addBuiltInTable();
  return database;
}

void MimeDatabase::loadGlobs2(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    // weight:type:glob[:flags[:...]]
    const size_t first = line.find(':');
    const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const size_t third = line.find(':', second + 1);
    const std::string_view view(line);
    const std::string_view glob = view.substr(
        second + 1, third == std::string::npos ? std::string::npos : third - second - 1);
    const std::string_view flags =
        third == std::string::npos ? std::string_view() : view.substr(third + 1);
    int weight = 50;
    try {
      weight = std::stoi(line.substr(0, first));
    } catch (...) {
      continue;  // a malformed weight: skip the line, as the database readers do
    }
    addGlob(weight, view.substr(first + 1, second - first - 1), glob,
            flags.find("cs") != std::string_view::npos);
  }
}

void MimeDatabase::loadPairs(const std::string& path, bool aliases) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const size_t space = line.find(' ');
    if (line.empty() || line[0] == '#' || space == std::string::npos) continue;
    const std::string_view view(line);
    const std::string_view left = view.substr(0, space);
    const std::string_view right = view.substr(space + 1);
    if (aliases) {
      aliases_.try_emplace(TypeIdentifier::named(left).name(), TypeIdentifier::named(right));
    } else {
      addSubclass(left, right);
    }
  }
}

void MimeDatabase::addGlob(int weight, std::string_view type, std::string_view glob,
                           bool caseSensitive) {
  if (glob.empty() || type.empty()) return;
  const Match match{weight, TypeIdentifier::named(type)};
  if (glob.size() > 2 && glob.substr(0, 2) == "*." && !hasWildcards(glob.substr(1))) {
    const std::string suffix(glob.substr(1));
    if (caseSensitive) {
      caseSuffixes_.try_emplace(suffix, match);
    } else {
      suffixes_.try_emplace(asciiLowercased(suffix), match);
    }
  } else if (!hasWildcards(glob)) {
    literals_.try_emplace(caseSensitive ? std::string(glob) : asciiLowercased(glob), match);
  } else {
    patterns_.push_back({std::string(glob), match, GlobFilter(glob)});
  }
}

void MimeDatabase::addSubclass(std::string_view child, std::string_view parent) {
  const TypeIdentifier childType = TypeIdentifier::named(child);
  const TypeIdentifier parentType = TypeIdentifier::named(parent);
  auto& list = parents_[childType.name()];
  if (std::find(list.begin(), list.end(), parentType) == list.end()) list.push_back(parentType);
}

void MimeDatabase::addBuiltInTable() {
  for (const auto& glob : kBuiltInGlobs) {
    suffixes_.try_emplace(std::string(".") + glob.extension,
                          Match{50, TypeIdentifier::named(glob.type)});
  }
  for (const auto& [child, parent] : kBuiltInSubclasses) addSubclass(child, parent);
}

TypeIdentifier MimeDatabase::canonical(TypeIdentifier type) const {
  auto it = aliases_.find(type.name());
  return it == aliases_.end() ? type : it->second;
}

TypeIdentifier MimeDatabase::typeForFileName(std::string_view name) const {
  if (auto it = literals_.find(name); it != literals_.end()) return it->second.type;
  const std::string lowered = asciiLowercased(name);
  const std::string_view lower = lowered;
  if (lower != name) {  // every listed file asks: a name in lower case is looked up once
    if (auto it = literals_.find(lower); it != literals_.end()) return it->second.type;
  }

  // Every dotted suffix is a candidate ("a.tar.gz": ".tar.gz", ".gz"); the heavier glob wins,
  // and of equal weights the longer one.
  const Match* best = nullptr;
  size_t bestLength = 0;
  for (size_t dot = name.find('.', 1); dot != std::string_view::npos;
       dot = name.find('.', dot + 1)) {
    const Match* candidate = nullptr;
    if (auto it = caseSuffixes_.find(name.substr(dot)); it != caseSuffixes_.end()) {
      candidate = &it->second;
    } else if (auto lit = suffixes_.find(lower.substr(dot)); lit != suffixes_.end()) {
      candidate = &lit->second;
    }
    const size_t length = name.size() - dot;
    if (candidate != nullptr && (best == nullptr || candidate->weight > best->weight ||
                                 (candidate->weight == best->weight && length > bestLength))) {
      best = candidate;
      bestLength = length;
    }
  }
  if (best != nullptr) return canonical(best->type);

  const std::string nameString(name);
  for (const auto& pattern : patterns_) {
    if (pattern.filter.admits(lower) &&
        ::fnmatch(pattern.glob.c_str(), nameString.c_str(), FNM_CASEFOLD) == 0)
      return canonical(pattern.match.type);
  }
  static const TypeIdentifier kOctetStream = TypeIdentifier::named(types::kOctetStream);
  return kOctetStream;
}

TypeIdentifier MimeDatabase::typeForDirectoryName(std::string_view name) const {
  const std::string extension = lowercasedPathExtension(name);
  if (!extension.empty()) {
    for (const auto& entry : kDirectoryTypes) {
      if (extension == entry.extension) return TypeIdentifier::named(entry.type);
    }
  }
  static const TypeIdentifier kDirectory = TypeIdentifier::named(types::kDirectory);
  return kDirectory;
}

bool MimeDatabase::conforms(TypeIdentifier type, std::string_view parent) const {
  if (type.empty()) return false;
  type = canonical(type);
  if (type.name() == parent) return true;
  if (parent == types::kOctetStream) return type.mediaType() != "inode";
  if (parent == types::kPlainText && type.mediaType() == "text") return true;
  // Breadth-first over the subclass graph; the visited list guards against cycles. Every listed
  // item asks a dozen of these questions, so the lists are the thread's own, reused.
  thread_local std::vector<TypeIdentifier> pending;
  thread_local std::vector<TypeIdentifier> visited;
  pending.assign(1, type);
  visited.clear();
  while (!pending.empty()) {
    const TypeIdentifier current = pending.back();
    pending.pop_back();
    if (std::find(visited.begin(), visited.end(), current) != visited.end()) continue;
    visited.push_back(current);
    auto it = parents_.find(current.name());
    if (it == parents_.end()) continue;
    for (TypeIdentifier next : it->second) {
      next = canonical(next);
      if (next.name() == parent) return true;
      if (parent == types::kPlainText && next.mediaType() == "text") return true;
      pending.push_back(next);
    }
  }
  return false;
}

}  // namespace zarnik
