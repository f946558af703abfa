#include "statistics/statistician_store.h"

#include "platform/file_reading.h"
#include "platform/property_list.h"

#include <fmt/format.h>

#include <algorithm>
#include <limits>

namespace zarnik {
namespace {

constexpr std::string_view kClassName = "StatisticianStore";

Error storeError(const std::string& description, int code = 1) {
  Error error = Error::generic(description);
  error.code = code;
  return error;
}

// Identifiers come from the achievements resources; they are written escaped all the same.
std::string xmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Achievements are named by identifiers of letters, digits, dots, dashes and underscores (the
// resources' own); anything else in a file is not one of them.
bool isAchievementIdentifier(std::string_view text) {
  return !text.empty() && text.size() <= 256 && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
  });
}

}  // namespace

const std::vector<std::pair<std::string_view, CounterKind>>& StatisticianStore::counters() {
  using K = CounterKind;
  static const std::vector<std::pair<std::string_view, CounterKind>> all = {
      {"scannedSize", K::number},
      {"_foundSize", K::number},
      {"foundSize", K::number},
      {"cleanedSize", K::number},
      {"numberOfCleanedFiles", K::number},
      {"numberOfLaunches", K::number},
      {"numberOfFinishedScans", K::number},
      {"numberOfFinishedCleans", K::number},
      {"numberOfRevertedCleans", K::number},
      {"numberOfITunesLibrariesScanned", K::number},
      {"numberOfPhotoLibrariesScanned", K::number},
      {"scannedExternalDrives", K::truthValue},
      {"scannedNetworkDrives", K::truthValue},
      {"numberOfSharedCleanResults", K::number},
      {"numberOfSharedEvents", K::number},
      {"numberOfInvitedFriends", K::number},
      {"numberOfFriendsTold", K::number},
      {"selectLocationScreenViewed", K::truthValue},
      {"detectionProgressScreenViewed", K::truthValue},
      {"reviewDetectionResultsScreenViewed", K::truthValue},
      {"reviewDetailedDetectionResultsScreenViewed", K::truthValue},
      {"cleanProgressScreenViewed", K::truthValue},
      {"reviewCleanResultsScreenViewed", K::truthValue},
      {"searchUsed", K::truthValue},
      {"filterUsed", K::truthValue},
      {"selectionChangedByHand", K::truthValue},
      {"duplicateDestroyerAccomplished", K::truthValue},
      {"lastCleanupCompleteSuccessfully", K::truthValue},
      {"algorithmTought", K::truthValue},
      {"secretFound", K::truthValue},
      {"numberOfLogoClicks", K::number},
      {"productRated", K::truthValue},
      {"feedbackProvided", K::truthValue},
      {"subscribedForNews", K::truthValue},
      {"numberOfAchievementsImpressions", K::number},
  };
  return all;
}

std::optional<CounterKind> StatisticianStore::counterKind(std::string_view name) {
  for (const auto& [counter, kind] : counters()) {
    if (counter == name) return kind;
  }
  return std::nullopt;
}

CounterValue StatisticianStore::value(std::string_view name) const {
  if (counterKind(name) == CounterKind::truthValue) return truth(name);
  return number(name);
}

std::int64_t StatisticianStore::number(std::string_view name) const {
  if (name == "foundSize") return foundSize();
  auto found = numbers_.find(name);
  return found == numbers_.end() ? 0 : found->second;
}

bool StatisticianStore::truth(std::string_view name) const {
  auto found = truths_.find(name);
  return found != truths_.end() && found->second;
}

void StatisticianStore::setNumber(std::string_view name, std::int64_t value) {
  if (name == "foundSize") name = "_foundSize";
  numbers_[std::string(name)] = value;
}

void StatisticianStore::add(std::string_view name, std::int64_t delta) {
  const std::int64_t current = number(name == "foundSize" ? "_foundSize" : name);
  std::int64_t sum = 0;
  if (__builtin_add_overflow(current, delta, &sum)) {
    sum = delta > 0 ? std::numeric_limits<std::int64_t>::max()
                    : std::numeric_limits<std::int64_t>::min();
  }
  setNumber(name, sum);
}

void StatisticianStore::setTruth(std::string_view name, bool value) {
  truths_[std::string(name)] = value;
}

std::int64_t StatisticianStore::foundSize() const {
  return std::max(number("_foundSize"), number("scannedSize") / 6);
}

void StatisticianStore::setCheatingAchievement(const std::string& identifier, bool cheating) {
  if (cheating) {
    if (isAchievementIdentifier(identifier)) cheating_.insert(identifier);
  } else {
    cheating_.erase(identifier);
  }
}

bool operator==(const StatisticianStore& a, const StatisticianStore& b) {
  for (const auto& [name, kind] : StatisticianStore::counters()) {
    if (a.value(name) != b.value(name)) return false;
  }
  return a.cheating_ == b.cheating_;
}

std::string StatisticianStore::propertyListText() const {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
      "\t<key>$class</key>\n\t<string>StatisticianStore</string>\n";
  text += fmt::format("\t<key>version</key>\n\t<integer>{}</integer>\n", kStatisticsFormatVersion);
  for (const auto& [name, kind] : counters()) {
    if (name == "foundSize") continue;
    if (kind == CounterKind::number) {
      text += fmt::format("\t<key>{}</key>\n\t<integer>{}</integer>\n", name, number(name));
    } else {
      text += fmt::format("\t<key>{}</key>\n\t<{}/>\n", name, truth(name) ? "true" : "false");
    }
  }
  if (!cheating_.empty()) {
    text += "\t<key>cheatingAchievementIdentifiers</key>\n\t<array>\n";
    for (const auto& identifier : cheating_)
      text += "\t\t<string>" + xmlEscaped(identifier) + "</string>\n";
    text += "\t</array>\n";
  }
  text += "</dict>\n</plist>\n";
  return text;
}

Result<StatisticianStore> StatisticianStore::fromPropertyList(const Json& document) {
  if (!document.is_object() || document.value("$class", Json()) != std::string(kClassName)) {
    return storeError("not a statistics file");
  }
  const Json& version = document.value("version", Json());
  if (!version.is_number_integer()) return storeError("the statistics file has no version");
  if (version.get<std::int64_t>() > kStatisticsFormatVersion) {
    return storeError(
        fmt::format("the statistics file was written by a newer version of Zarnik (format {})",
                    version.get<std::int64_t>()),
        kNewerStatisticsFormatCode);
  }
  StatisticianStore store;
  for (const auto& [name, kind] : counters()) {
    if (name == "foundSize") continue;
    auto found = document.find(std::string(name));
    if (found == document.end())
      continue;  // a counter added since the file was written starts at 0
    if (kind == CounterKind::number && found->is_number_integer()) {
      store.setNumber(name, found->get<std::int64_t>());
    } else if (kind == CounterKind::truthValue && found->is_boolean()) {
      store.setTruth(name, found->get<bool>());
    } else {
      return storeError(fmt::format("the counter {} of the statistics file is not a {}", name,
                                    kind == CounterKind::number ? "whole number" : "truth value"));
    }
  }
  if (auto found = document.find("cheatingAchievementIdentifiers"); found != document.end()) {
    if (!found->is_array()) return storeError("the achievements granted by hand are not a list");
    for (const auto& identifier : *found) {
      if (!identifier.is_string()) return storeError("an achievement granted by hand is not named");
      store.setCheatingAchievement(identifier.get<std::string>(), true);
    }
  }
  return store;
}

Result<StatisticianStore> StatisticianStore::makeWithContentsOf(const std::string& path) {
  auto bytes = readWholeFile(path, kMaximumStatisticsFileSize);
  if (bytes.hasError()) return bytes.error();
  auto document = parsePropertyList(bytes.value(), path);
  if (document.hasError()) return document.error();
  auto store = fromPropertyList(document.value());
  if (store.hasError()) return store.error().withPath(path);
  return store;
}

Result<void> StatisticianStore::storeTo(const std::string& path) const {
  return writeFileAtomically(path, propertyListText());
}

}  // namespace zarnik
