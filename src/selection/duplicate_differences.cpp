#include "selection/duplicate_differences.h"

#include "file_model/library_application.h"
#include "platform/file_reading.h"
#include "selection/autoselection_config.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

namespace zarnik {
namespace {

std::int64_t nanoseconds(Date date) { return date.time_since_epoch().count(); }

void put(DuplicateFactors& factors, EquivalenceDifference kind, DuplicateFactor::Value value,
         std::string shownText = {}) {
  factors[kind] =
      DuplicateFactor{kind, std::move(value), std::move(shownText), ArrangementFactor::undefined};
}

void putDate(DuplicateFactors& factors, EquivalenceDifference kind, Date date) {
  put(factors, kind, nanoseconds(date));
}

void putMediaFactors(DuplicateFactors& factors, const NodeContent& content) {
  using D = EquivalenceDifference;
  if (const auto& audio = content.audioInfo) {
    if (audio->artist) put(factors, D::artist, *audio->artist);
    if (audio->album) put(factors, D::album, *audio->album);
    if (audio->title) put(factors, D::title, *audio->title);
    if (audio->bitrate) put(factors, D::audioBitrate, static_cast<std::int64_t>(*audio->bitrate));
    if (audio->duration > 0)
      put(factors, D::duration, audio->duration, fmt::format("{:.1f} s", audio->duration));
  }
  if (const auto& image = content.imageInfo) {
    put(factors, D::imageSize, image->size.width * image->size.height,
        fmt::format("{}×{}", image->size.width, image->size.height));
    if (image->iso) put(factors, D::imageISO, *image->iso, fmt::format("ISO {}", *image->iso));
    if (image->cameraInfo && image->cameraInfo->isValid()) {
      put(factors, D::camera, image->cameraInfo->description());
    }
    if (image->location) {
      const std::string where =
          fmt::format("{:.5f}, {:.5f}", image->location->latitude, image->location->longitude);
      put(factors, D::geoLocation, where);
    }
    if (image->softwareName) put(factors, D::software, *image->softwareName);
  }
  if (const auto& bundle = content.bundleInfo) {
    if (bundle->arrangeVersion) {
      std::vector<std::uint64_t> parts(bundle->arrangeVersion->parts().begin(),
                                       bundle->arrangeVersion->parts().end());
      put(factors, D::appVersion, std::move(parts),
          bundle->displayVersion.value_or(bundle->arrangeVersion->string()));
    }
  }
}

// "rated 4 stars in Shotwell", or "rated 4 stars" when the library's program is not known.
std::string ratingText(int stars, const std::optional<std::string>& application) {
  std::string text = fmt::format("rated {} {}", stars, stars == 1 ? "star" : "stars");
  if (application) text += " in " + *application;
  return text;
}

// Music ratings run from 0 to 100, 20 a star.
int starsOfMusicRating(float rating) { return static_cast<int>(std::lround(rating / 20.0F)); }

void putLibraryFactors(DuplicateFactors& factors, const ZKBaseNode& node) {
  using D = EquivalenceDifference;
  if (const auto* track = dynamic_cast<const ZKITunesLibraryItemNode*>(&node)) {
    if (const auto& info = track->iTunesItemInfo()) {
      if (info->rating) {
        put(factors, D::rating, static_cast<double>(*info->rating),
            ratingText(starsOfMusicRating(*info->rating),
                       libraryApplicationName(track->mediaLibraryNode())));
      }
      if (info->playCount) put(factors, D::playCount, *info->playCount);
      if (info->playDate) putDate(factors, D::playDate, *info->playDate);
      if (info->loved) put(factors, D::loved, *info->loved, *info->loved ? "loved" : "not loved");
      if (info->artist && factors.count(D::artist) == 0) put(factors, D::artist, *info->artist);
      if (info->album && factors.count(D::album) == 0) put(factors, D::album, *info->album);
    }
  }
  if (const auto* photo = dynamic_cast<const ZKPhotosLibraryItemNode*>(&node)) {
    put(factors, D::photosUUID, photo->photosIdentifier());
    if (const auto& info = photo->photosItemInfo()) {
      put(factors, D::favorite, info->isFavorite, info->isFavorite ? "favorite" : "not favorite");
      // On the music scale, so that a picture's stars compare as a track's do.
      if (info->rating) {
        put(factors, D::rating, static_cast<double>(*info->rating * 20),
            ratingText(*info->rating, libraryApplicationName(photo->mediaLibraryNode())));
      }
    }
  }
}

// Removes the last match of a suffix expression as long as one is found; how many were removed.
int stripSuffixes(std::string& text, const RegularExpression& expression) {
  int count = 0;
  while (auto match = expression.firstMatch(text)) {
    if (match->first == match->second || match->first == 0) break;  // never strip a whole name
    text.erase(match->first);
    ++count;
  }
  return count;
}

PathComponentPattern analyse(const std::string& component, bool isLast) {
  const auto& expressions = AutoselectionConfig::shared().expressions();
  PathComponentPattern pattern;
  pattern.component = component;
  pattern.isLastComponent = isLast;
  // A file is judged by its name without extension: "report copy.pdf" ends with a copy word.
  std::string text =
      decomposedForm(isLast ? std::string(nameWithoutExtension(component)) : component);
  pattern.isAutonamed = !isLast && expressions.autonamed->search(text);
  if (auto prefix = expressions.prefixCopy->firstMatch(text);
      prefix && prefix->second < text.size()) {
    pattern.hasPrefixMatchingCopyPattern = true;
    text.erase(0, prefix->second);
  }
  pattern.numberOfSuffixMatchingNumberPatterns = stripSuffixes(text, *expressions.suffixNumber);
  auto suffix = expressions.bracketedCopy->firstMatch(text);
  if (!suffix || suffix->first == 0) suffix = expressions.suffixCopy->firstMatch(text);
  if (suffix && suffix->first > 0) {
    pattern.hasSuffixMatchingCopyPattern = true;
    text.erase(suffix->first);
    // "report copy 2": the number belongs to the copy word, "report 2 copy" to the name.
    pattern.numberOfSuffixMatchingNumberPatterns += stripSuffixes(text, *expressions.suffixNumber);
  }
  pattern.strippedComponent = text;
  return pattern;
}

bool looksLikeCopy(const PathComponentPattern& pattern) {
  return pattern.hasPrefixMatchingCopyPattern || pattern.hasSuffixMatchingCopyPattern ||
         pattern.numberOfSuffixMatchingNumberPatterns > 0;
}

}  // namespace

std::optional<std::string> libraryMembershipText(const ZKBaseNode& node) {
  std::string text;
  if (const auto* track = dynamic_cast<const ZKITunesLibraryItemNode*>(&node)) {
    text = "in your music library";
    const auto& info = track->iTunesItemInfo();
    if (info && info->rating && starsOfMusicRating(*info->rating) > 0) {
      text += ", " + ratingText(starsOfMusicRating(*info->rating),
                                libraryApplicationName(track->mediaLibraryNode()));
    }
    return text;
  }
  if (const auto* photo = dynamic_cast<const ZKPhotosLibraryItemNode*>(&node)) {
    text = "in your photo library";
    const auto& info = photo->photosItemInfo();
    if (info && info->rating && *info->rating > 0) {
      text += ", " + ratingText(*info->rating, libraryApplicationName(photo->mediaLibraryNode()));
    }
    return text;
  }
  return std::nullopt;
}

namespace {

bool isUntested(const std::shared_ptr<const ZKDirectoryNode>& library) {
  return library && library->mediaLibraryInfo() && !library->mediaLibraryInfo()->isTestedVersion;
}

void setFlags(NodeDifferencesInfo& info, const std::string& path) {
  DuplicateDifferences& differences = info.differences;
  const ZKBaseNode& node = *info.node;
  differences.set(accessible, pathExists(path));
  differences.set(writable, node.attributes().wasWritable);
  if (const auto* track = dynamic_cast<const ZKITunesLibraryItemNode*>(&node)) {
    differences.set(memberOfITunesLibrary);
    differences.set(memberOfNonDefaultITunesLibrary, !track->isMemberOfDefaultITunesLibrary());
    if (isUntested(track->mediaLibraryNode())) differences.set(memberOfNonTestedMediaLibrary);
  }
  if (const auto* photo = dynamic_cast<const ZKPhotosLibraryItemNode*>(&node)) {
    differences.set(memberOfPhotosLibrary);
    if (isUntested(photo->mediaLibraryNode())) differences.set(memberOfNonTestedMediaLibrary);
  }
  if (node.type() == NodeType::audio && node.content().audioInfo) {
    differences.set(lacksArtistName, !node.content().audioInfo->artist.has_value());
    differences.set(lacksTrackTitle, !node.content().audioInfo->title.has_value());
  }
  differences.set(
      hasMaximumPlayCount,
      differences.arrangementFactor(EquivalenceDifference::playCount) == ArrangementFactor::max);
  if (!differences.pathComponentPatterns.empty()) {
    differences.set(nameLooksLikeCopy, looksLikeCopy(differences.pathComponentPatterns.back()));
  }
  const std::string stem = decomposedForm(nameWithoutExtension(path));
  differences.set(hasSuffixMatchingThumbnailPattern,
                  AutoselectionConfig::shared().expressions().thumbnail->search(stem));
}

void arrange(std::vector<NodeDifferencesInfo>& infos, EquivalenceDifference kind) {
  const DuplicateFactor* lowest = nullptr;
  const DuplicateFactor* highest = nullptr;
  for (const auto& info : infos) {
    auto it = info.differences.factors.find(kind);
    if (it == info.differences.factors.end()) continue;
    if (lowest == nullptr || it->second < *lowest) lowest = &it->second;
    if (highest == nullptr || *highest < it->second) highest = &it->second;
  }
  if (lowest == nullptr) return;
  const DuplicateFactor low = *lowest;
  const DuplicateFactor high = *highest;
  // Every copy at the extreme shares it: two newest copies are both "Max".
  for (auto& info : infos) {
    auto it = info.differences.factors.find(kind);
    if (it == info.differences.factors.end()) continue;
    it->second.arrangementFactor = it->second == high  ? ArrangementFactor::max
                                   : it->second == low ? ArrangementFactor::min
                                                       : ArrangementFactor::mid;
  }
}

// A number at the end of a name marks a copy only beside the name it was numbered after:
// "photo (1)" beside "photo", "report 2" beside "report". Years and sequence numbers
// ("Trip to Rome 2019", "IMG_1234", "tax-return-2023") mark nothing on their own, so a number
// counts only where another copy's name at a like place (the file's name; any folder's name)
// strips to the same text with fewer numbers.
void keepOnlyNumbersThatMarkCopies(std::vector<NodeDifferencesInfo>& infos) {
  // The fewest numbers any copy's name at a like place strips off to reach a text: a copy with
  // more has another copy's name beside it (a copy's own count is never below that fewest).
  std::map<std::pair<bool, std::string_view>, int> fewestNumbers;
  for (const auto& info : infos) {
    for (const auto& pattern : info.differences.pathComponentPatterns) {
      auto [it, inserted] =
          fewestNumbers.try_emplace({pattern.isLastComponent, pattern.strippedComponent},
                                    pattern.numberOfSuffixMatchingNumberPatterns);
      if (!inserted)
        it->second = std::min(it->second, pattern.numberOfSuffixMatchingNumberPatterns);
    }
  }
  std::vector<std::pair<PathComponentPattern*, bool>> judged;
  for (auto& info : infos) {
    for (auto& pattern : info.differences.pathComponentPatterns) {
      if (pattern.numberOfSuffixMatchingNumberPatterns == 0) continue;
      const int fewest = fewestNumbers.at({pattern.isLastComponent, pattern.strippedComponent});
      judged.emplace_back(&pattern, fewest < pattern.numberOfSuffixMatchingNumberPatterns);
    }
  }
  // Cleared once all are judged: the map's keys look into the patterns' texts.
  for (auto& [pattern, marksCopy] : judged) {
    if (!marksCopy) pattern->numberOfSuffixMatchingNumberPatterns = 0;
  }
}

}  // namespace

DuplicateFactors fetchDuplicateFactors(const ZKBaseNode& node,
                                       std::optional<std::int64_t> hardlinkedGroupID) {
  using D = EquivalenceDifference;
  DuplicateFactors factors;
  const NodeAttributes& attributes = node.attributes();
  const std::string path = node.path();
  const std::string name(lastPathComponent(path));
  put(factors, D::name, name);
  const std::string folder = parentPath(path);
  put(factors, D::path, folder);
  if (const std::string extension = lowercasedPathExtension(name); !extension.empty()) {
    put(factors, D::extension, extension);
  }
  putDate(factors, D::dateOfCreation, attributes.dateOfCreation);
  putDate(factors, D::dateOfModification, attributes.dateOfModification);
  if (attributes.dateOfAccess) putDate(factors, D::dateOfAccess, *attributes.dateOfAccess);
  put(factors, D::size, node.exactSize());
  if (hardlinkedGroupID) put(factors, D::hardLinkedGroup, *hardlinkedGroupID);
  if (const auto cloud = node.belongsToCloudService())
    put(factors, D::cloud, std::string(rawValue(*cloud)));
  if (!attributes.UTIType.empty()) put(factors, D::utiType, std::string(attributes.UTIType.name()));
  putMediaFactors(factors, node.content());
  putLibraryFactors(factors, node);
  factors.compact();
  return factors;
}

namespace {

// Starts over when it grows large.
thread_local std::unordered_map<std::string, PathComponentPattern> analysedFolderNames;

}  // namespace

void forgetAnalysedFolderNames() { decltype(analysedFolderNames)().swap(analysedFolderNames); }

std::vector<PathComponentPattern> pathComponentPatterns(const PathComponents& components) {
  auto& folders = analysedFolderNames;
  if (folders.size() > 20'000) folders.clear();
  std::vector<PathComponentPattern> patterns;
  patterns.reserve(components.size());
  for (size_t i = 0; i < components.size(); ++i) {
    if (components[i] == "/") continue;
    const bool isLast = i + 1 == components.size();
    if (isLast) {
      patterns.push_back(analyse(components[i], true));
      continue;
    }
    auto known = folders.find(components[i]);
    if (known == folders.end())
      known = folders.emplace(components[i], analyse(components[i], false)).first;
    patterns.push_back(known->second);
  }
  return patterns;
}

EquivalenceDifferencesInfo detectDifferenceInNodeInfos(std::vector<NodeDifferencesInfo>& infos) {
  EquivalenceDifferencesInfo group;
  if (infos.empty()) return group;
  std::vector<std::string> paths;
  paths.reserve(infos.size());
  for (auto& info : infos) {
    paths.push_back(info.node->path());
    info.differences.factors = fetchDuplicateFactors(*info.node, info.hardlinkedGroupID);
    info.differences.pathComponentPatterns = pathComponentPatterns(pathComponents(paths.back()));
    const auto& last = info.differences.pathComponentPatterns;
    info.strippedName = last.empty() ? std::string() : last.back().strippedComponent;
  }
  keepOnlyNumbersThatMarkCopies(infos);
  for (int raw = 0; raw < kEquivalenceDifferenceCount; ++raw) {
    const auto kind = static_cast<EquivalenceDifference>(raw);
    const auto factorOf = [kind](const NodeDifferencesInfo& info) -> const DuplicateFactor* {
      auto it = info.differences.factors.find(kind);
      return it == info.differences.factors.end() ? nullptr : &it->second;
    };
    // A kind differs when a copy lacks a value another has, or two values are not equal.
    const DuplicateFactor* first = factorOf(infos.front());
    const bool differs =
        std::any_of(infos.begin() + 1, infos.end(), [&](const NodeDifferencesInfo& info) {
          const DuplicateFactor* factor = factorOf(info);
          return (factor == nullptr) != (first == nullptr) ||
                 (factor != nullptr && !(*factor == *first));
        });
    if (!differs) continue;
    group.differences.insert(kind);
    if (isArrangable(kind)) arrange(infos, kind);
  }
  for (size_t i = 0; i < infos.size(); ++i) setFlags(infos[i], paths[i]);
  return group;
}

}  // namespace zarnik
