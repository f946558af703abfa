#include "foundation/url_resolver.h"

#include "platform/xdg_directories.h"

namespace zarnik {
namespace {

PathComponents urlComponents(std::string_view path) {
  return pathComponents(standardizedPath(path));
}

void dropTrailingSeparator(PathComponents& components) {
  if (components.size() >= 2 && components.back() == "/") components.pop_back();
}

}  // namespace

const OVURLResolver& OVURLResolver::shared() {
  static const OVURLResolver* resolver = new OVURLResolver(xdg::homeDirectory(), "/");
  return *resolver;
}

OVURLResolver::OVURLResolver(std::string homePath, std::string rootPath)
    : homePath_(standardizedPath(homePath)),
      rootPath_(standardizedPath(rootPath)),
      homeComponents_(urlComponents(homePath_)),
      rootComponents_(urlComponents(rootPath_)) {}

std::optional<PathComponents> OVURLResolver::abbreviateComponents(
    const PathComponents& components, const PathComponents& baseComponents,
    std::string_view abbreviatedComponent) {
  if (!hasComponentPrefix(components, baseComponents)) return std::nullopt;
  return stripBaseFromPathComponents(components, baseComponents, abbreviatedComponent);
}

std::optional<PathComponents> OVURLResolver::stripBaseFromPathComponents(
    const PathComponents& components, const PathComponents& baseComponents,
    std::optional<std::string_view> abbreviatedComponent) {
  if (baseComponents.size() > components.size()) return std::nullopt;
  PathComponents result;
  result.reserve(components.size() - baseComponents.size() + 1);
  if (abbreviatedComponent) result.emplace_back(*abbreviatedComponent);
  result.insert(result.end(), components.begin() + static_cast<long>(baseComponents.size()),
                components.end());
  return result;
}

std::optional<std::string> OVURLResolver::stripBaseFromPath(
    std::string_view path, std::string_view basePath,
    std::optional<std::string_view> abbreviatedComponent) {
  auto stripped = stripBaseFromPathComponents(pathComponents(path), pathComponents(basePath),
                                              abbreviatedComponent);
  if (!stripped) return std::nullopt;
  return pathFromComponents(*stripped);
}

PathComponents OVURLResolver::abbreviatedPathComponents(const PathComponents& components) const {
  if (auto home = abbreviateComponents(components, homeComponents_, "~")) return *home;
  if (auto root = abbreviateComponents(components, rootComponents_, "/")) return *root;
  return components;
}

PathComponents OVURLResolver::abbreviatedPathComponentsForPath(std::string_view path) const {
  PathComponents components = pathComponents(path);
  dropTrailingSeparator(components);
  return abbreviatedPathComponents(components);
}

PathComponents OVURLResolver::abbreviatedPathComponentsForURL(std::string_view path) const {
  return abbreviatedPathComponents(urlComponents(path));
}

std::optional<std::string> OVURLResolver::joinAbbreviated(const PathComponents& components,
                                                          bool isDirectory) const {
  if (components.empty()) return std::nullopt;
  std::string joined = pathFromComponents(components);
  if (joined == "~") return joined;
  if (isDirectory && joined != "/" && joined.back() != '/') joined += '/';
  return joined;
}

std::optional<std::string> OVURLResolver::abbreviatedPathForURL(std::string_view path,
                                                                bool isDirectory) const {
  return joinAbbreviated(abbreviatedPathComponentsForURL(path), isDirectory);
}

std::string OVURLResolver::abbreviatedPath(std::string_view path) const {
  return abbreviatedPath(path, !path.empty() && path.back() == '/');
}

std::string OVURLResolver::abbreviatedPath(std::string_view path, bool isDirectory) const {
  return joinAbbreviated(abbreviatedPathComponentsForPath(path), isDirectory).value_or(std::string(path));
}

std::optional<PathComponents> OVURLResolver::expandedPathComponentsForPath(std::string_view path) const {
  PathComponents components = pathComponents(path);
  if (components.empty()) return std::nullopt;
  const PathComponents* base = nullptr;
  if (components.front() == "~") {
    base = &homeComponents_;
  } else if (components.front() == "/") {
    base = &rootComponents_;
  } else {
    return components;
  }
  if (components.size() == 1) return *base;
  components.erase(components.begin());
  if (components.back() == "/") components.pop_back();
  PathComponents expanded = *base;
  expanded.insert(expanded.end(), components.begin(), components.end());
  return expanded;
}

std::optional<std::string> OVURLResolver::expandedPathForPath(std::string_view path) const {
  auto components = expandedPathComponentsForPath(path);
  if (!components) return std::nullopt;
  return pathFromComponents(*components);
}

Json OVURLResolver::encode() const {
  return Json{{"homeURL", bytesJson(homePath_)}, {"rootURL", bytesJson(rootPath_)}};
}

Result<OVURLResolver> OVURLResolver::decode(const Json& archive) {
  auto home = jsonString(archive, "homeURL");
  auto root = jsonString(archive, "rootURL");
  if (!home || !root) return Error::generic("The stored path resolver is incomplete.");
  return OVURLResolver(*home, *root);
}

}  // namespace zarnik
