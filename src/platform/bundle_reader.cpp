#include "platform/bundle_reader.h"

#include <cerrno>

#include "base/path_components.h"
#include "platform/property_list.h"

namespace zarnik {

Result<BundlePropertyList> bundlePropertyListFromJson(const Json& plist, std::string_view origin) {
  if (!plist.is_object()) {
    return Error::generic("The bundle's Info.plist is not a dictionary.", std::string(origin));
  }
  BundlePropertyList info;
  info.bundleIdentifier = jsonString(plist, "CFBundleIdentifier");
  info.shortVersion = jsonString(plist, "CFBundleShortVersionString");
  info.version = jsonString(plist, "CFBundleVersion");
  info.name = jsonString(plist, "CFBundleDisplayName");
  if (!info.name) info.name = jsonString(plist, "CFBundleName");
  info.packageType = jsonString(plist, "CFBundlePackageType");
  info.executable = jsonString(plist, "CFBundleExecutable");
  return info;
}

Result<BundlePropertyList> readBundlePropertyList(const std::string& bundlePath) {
  const std::string contents = appendingPathComponent(appendingPathComponent(bundlePath, "Contents"), "Info.plist");
  Result<Json> plist = readPropertyListFile(contents);
  if (plist.hasError() && plist.error().domain == kPosixErrorDomain && plist.error().code == ENOENT) {
    plist = readPropertyListFile(appendingPathComponent(bundlePath, "Info.plist"));
  }
  if (plist.hasError()) return plist.error();
  return bundlePropertyListFromJson(plist.value(), contents);
}

}  // namespace zarnik
