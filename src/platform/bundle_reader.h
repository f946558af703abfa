// Application bundles met on disk (folders named *.app holding Contents/Info.plist, as on disks
// shared with other systems): the facts of their Info.plist.
#pragma once

#include <optional>
#include <string>

#include "base/json.h"
#include "base/result.h"

namespace zarnik {

struct BundlePropertyList {
  std::optional<std::string> bundleIdentifier;  // CFBundleIdentifier
  std::optional<std::string> shortVersion;      // CFBundleShortVersionString
  std::optional<std::string> version;           // CFBundleVersion
  std::optional<std::string> name;              // CFBundleDisplayName, else CFBundleName
  std::optional<std::string> packageType;       // CFBundlePackageType ("APPL" for applications)
  std::optional<std::string> executable;        // CFBundleExecutable
};

// The facts of an already parsed Info.plist; an error when it is not a dictionary.
[[nodiscard]] Result<BundlePropertyList> bundlePropertyListFromJson(const Json& plist,
                                                                    std::string_view origin);
// Reads <bundle>/Contents/Info.plist, or <bundle>/Info.plist for flat bundles.
[[nodiscard]] Result<BundlePropertyList> readBundlePropertyList(const std::string& bundlePath);

}  // namespace zarnik
