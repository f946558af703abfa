// OVURLResolver: the abbreviated form of stored paths. A path inside the home folder starts
// with the component "~", any other absolute path with "/"; a folder's abbreviated path ends in
// one separator ("~/Pictures/"), the home folder itself is "~". Stored paths survive a change of
// home folder, and rules built from them expand the same way everywhere.
//
// Immutable after construction; safe to share between threads.
#pragma once

#include "base/json.h"
#include "base/path_components.h"
#include "base/result.h"

#include <optional>
#include <string>
#include <string_view>

namespace zarnik {

class OVURLResolver {
 public:
  // The one instance, with the real home folder and "/".
  static const OVURLResolver& shared();
  OVURLResolver(std::string homePath, std::string rootPath = "/");

  [[nodiscard]] const std::string& homeURL() const { return homePath_; }
  [[nodiscard]] const std::string& rootURL() const { return rootPath_; }

  // A path given as a URL: trailing separators carry no meaning, `isDirectory` decides.
  [[nodiscard]] std::optional<std::string> abbreviatedPathForURL(std::string_view path,
                                                                 bool isDirectory) const;
  // A directory when it ends in "/"; unchanged when it cannot be abbreviated.
  [[nodiscard]] std::string abbreviatedPath(std::string_view path) const;
  [[nodiscard]] std::string abbreviatedPath(std::string_view path, bool isDirectory) const;
  [[nodiscard]] PathComponents abbreviatedPathComponents(const PathComponents& components) const;
  [[nodiscard]] PathComponents abbreviatedPathComponentsForPath(std::string_view path) const;
  [[nodiscard]] PathComponents abbreviatedPathComponentsForURL(std::string_view path) const;

  [[nodiscard]] std::optional<PathComponents> expandedPathComponentsForPath(
      std::string_view path) const;
  [[nodiscard]] std::optional<std::string> expandedPathForPath(std::string_view path) const;

  // "~"/"/" followed by what follows `base` in `components`; nothing when base is no prefix.
  [[nodiscard]] static std::optional<PathComponents> abbreviateComponents(
      const PathComponents& components, const PathComponents& baseComponents,
      std::string_view abbreviatedComponent);
  // Like abbreviateComponents without the prefix test: nothing only when base is longer.
  [[nodiscard]] static std::optional<PathComponents> stripBaseFromPathComponents(
      const PathComponents& components, const PathComponents& baseComponents,
      std::optional<std::string_view> abbreviatedComponent);
  [[nodiscard]] static std::optional<std::string> stripBaseFromPath(
      std::string_view path, std::string_view basePath,
      std::optional<std::string_view> abbreviatedComponent);

  [[nodiscard]] Json encode() const;
  static Result<OVURLResolver> decode(const Json& archive);

  friend bool operator==(const OVURLResolver& a, const OVURLResolver& b) {
    return a.homeComponents_ == b.homeComponents_ && a.rootComponents_ == b.rootComponents_;
  }

 private:
  [[nodiscard]] std::optional<std::string> joinAbbreviated(const PathComponents& components,
                                                           bool isDirectory) const;

  std::string homePath_;
  std::string rootPath_;
  PathComponents homeComponents_;
  PathComponents rootComponents_;
};

}  // namespace zarnik
