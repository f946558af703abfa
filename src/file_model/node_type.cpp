#include "file_model/node_type.h"

#include "base/path_components.h"
#include "platform/mime_database.h"

#include <algorithm>
#include <span>
#include <unordered_map>

namespace zarnik {
namespace {

constexpr std::string_view kRawValues[] = {
    "Archive", "Document",        "MacApplication", "MobileApplication", "Audio",         "Image",
    "Video",   "ApertureLibrary", "IPhotoLibrary",  "ITunesLibrary",     "PhotosLibrary", "Other",
};

// Families of the conformance tests: a document is a PDF, text, HTML, composite content, a
// presentation, a word-processing, spreadsheet, Pages or Numbers document.
constexpr std::string_view kDocumentTypes[] = {
    types::kPdf,
    types::kPlainText,
    types::kHtml,
    types::kPresentation,
    types::kWordDocument,
    types::kExcelWorkbook,
    types::kPagesDocument,
    types::kNumbersDocument,
    "application/vnd.apple.keynote",
    "application/rtf",
    "application/epub+zip",
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
    "application/vnd.openxmlformats-officedocument.presentationml.presentation",
    "application/vnd.oasis.opendocument.text",
    "application/vnd.oasis.opendocument.spreadsheet",
    "application/vnd.oasis.opendocument.presentation",
};

constexpr std::string_view kArchiveTypes[] = {
    "application/zip",
    "application/x-tar",
    "application/gzip",
    "application/x-bzip2",
    "application/x-xz",
    "application/x-7z-compressed",
    "application/vnd.rar",
    "application/x-rar",
    "application/x-compressed-tar",
    "application/zstd",
    "application/x-lzma",
    "application/x-cpio",
    "application/x-archive",
    "application/x-cd-image",
    "application/x-apple-diskimage",
    "application/x-raw-disk-image",
};

bool conformsToAny(const MimeDatabase& db, TypeIdentifier type,
                   std::span<const std::string_view> parents) {
  return std::any_of(parents.begin(), parents.end(),
                     [&](std::string_view parent) { return db.conforms(type, parent); });
}

// What a file's type alone says of its kind.
struct TypeKind {
  bool isApplicationBundle = false;
  bool isMobileApplication = false;
  NodeType contentKind = NodeType::other;  // by family, else document, archive or other
};

TypeKind kindOfType(const MimeDatabase& db, TypeIdentifier type) {
  TypeKind kind;
  kind.isApplicationBundle = db.conforms(type, types::kApplicationBundle);
  kind.isMobileApplication = db.conforms(type, types::kMobileApplication);
  const std::string_view family = type.mediaType();
  if (family == "image") {
    kind.contentKind = NodeType::image;
  } else if (family == "audio") {
    kind.contentKind = NodeType::audio;
  } else if (family == "video") {
    kind.contentKind = NodeType::video;
  } else if (conformsToAny(db, type, kDocumentTypes)) {
    kind.contentKind = NodeType::document;
  } else if (conformsToAny(db, type, kArchiveTypes)) {
    kind.contentKind = NodeType::archive;
  }
  return kind;
}

// The kind of every file listed is asked for, and working it out walks the type's parents for
// some forty conformance tests: each thread keeps what it worked out, by type (names are
// interned, and the shared database never changes once loaded).
const TypeKind& rememberedKindOfType(const MimeDatabase& db, TypeIdentifier type) {
  thread_local std::unordered_map<const void*, TypeKind> known;
  const void* name = type.name().data();
  auto it = known.find(name);
  if (it == known.end()) it = known.emplace(name, kindOfType(db, type)).first;
  return it->second;
}

}  // namespace

std::string_view rawValue(NodeType type) { return kRawValues[static_cast<size_t>(type)]; }

std::optional<NodeType> nodeTypeFromRawValue(std::string_view raw) {
  for (NodeType type : kAllNodeTypes) {
    if (rawValue(type) == raw) return type;
  }
  return std::nullopt;
}

bool isMediaLibrary(NodeType type) {
  return type == NodeType::apertureLibrary || type == NodeType::iPhotoLibrary ||
         type == NodeType::iTunesLibrary || type == NodeType::photosLibrary;
}

bool isBundle(NodeType type) {
  return type == NodeType::macApplication || type == NodeType::apertureLibrary ||
         type == NodeType::iPhotoLibrary || type == NodeType::photosLibrary;
}

bool isMediaItem(NodeType type) {
  return type == NodeType::audio || type == NodeType::image || type == NodeType::video;
}

bool allowsReplacementWithHardLinks(NodeType type) {
  return type == NodeType::archive || type == NodeType::document || isMediaItem(type) ||
         type == NodeType::other;
}

bool isEnumerationAllowed(NodeType type) { return type != NodeType::macApplication; }

NodeType detectTypeOfNodeWithAttributes(const NodeTypeDetectionInput& input) {
  const MimeDatabase& db = MimeDatabase::shared();
  const TypeIdentifier type = input.typeIdentifier;
  if (input.shouldDetectMediaLibraries && input.vnodeType == VNodeType::directory) {
    if (db.conforms(type, types::kPhotosLibrary)) return NodeType::photosLibrary;
    if (db.conforms(type, types::kIPhotoLibrary)) return NodeType::iPhotoLibrary;
    if (db.conforms(type, types::kApertureLibrary)) return NodeType::apertureLibrary;
  }
  const TypeKind& kind = rememberedKindOfType(db, type);
  if (kind.isApplicationBundle) {
    return input.hasBundleInfo && input.isValidApplication ? NodeType::macApplication
                                                           : NodeType::other;
  }
  if (kind.isMobileApplication || asciiLowercased(input.pathExtension) == "ipa") {
    return NodeType::mobileApplication;
  }
  if (input.vnodeType == VNodeType::symbolicLink) return NodeType::other;
  return kind.contentKind;
}

const std::vector<std::string_view>& pathExtensions(NodeType type) {
  static const std::vector<std::string_view> kTables[] = {
      /*archive*/ {"zip", "tar", "gz", "tgz", "bz2", "xz", "7z", "rar", "zst", "iso", "dmg", "img"},
      /*document*/ {"pdf",   "txt",     "rtf", "html", "htm", "doc", "docx",
                    "xls",   "xlsx",    "ppt", "pptx", "odt", "ods", "odp",
                    "pages", "numbers", "key", "epub", "md",  "csv"},
      /*macApplication*/ {"app"},
      /*mobileApplication*/ {"ipa"},
      /*audio*/
      {"mp3", "m4a", "aac", "flac", "wav", "aif", "aiff", "ogg", "oga", "opus", "wma", "alac",
       "m4b"},
      /*image*/
      {"jpg", "jpeg", "png", "gif", "bmp", "tif", "tiff", "webp", "heic", "heif", "avif", "cr2",
       "nef", "arw", "dng", "raf", "orf"},
      /*video*/ {"mp4", "m4v", "mov", "mkv", "avi", "webm", "wmv", "mpg", "mpeg", "3gp"},
      /*apertureLibrary*/ {"aplibrary"},
      /*iPhotoLibrary*/ {"photolibrary", "migratedphotolibrary"},
      /*iTunesLibrary*/ {},
      /*photosLibrary*/ {"photoslibrary"},
      /*other*/ {},
  };
  return kTables[static_cast<size_t>(type)];
}

}  // namespace zarnik
