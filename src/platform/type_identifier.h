// TypeIdentifier: an interned MIME type name ("image/jpeg"). It stands for the type identifier
// of an item. Interning makes a node's type one pointer wide and comparisons pointer compares.
#pragma once

#include <string>
#include <string_view>

namespace zarnik {

class TypeIdentifier {
 public:
  TypeIdentifier() = default;
  // The one identifier for this name; an empty name gives the empty identifier.
  static TypeIdentifier named(std::string_view name);

  [[nodiscard]] std::string_view name() const { return name_ == nullptr ? std::string_view() : *name_; }
  [[nodiscard]] bool empty() const { return name_ == nullptr; }
  // "image" for "image/jpeg".
  [[nodiscard]] std::string_view mediaType() const;

  friend bool operator==(TypeIdentifier a, TypeIdentifier b) { return a.name_ == b.name_; }

 private:
  explicit TypeIdentifier(const std::string* name) : name_(name) {}
  const std::string* name_ = nullptr;
};

// Type identifiers the system tests against. Directory kinds that freedesktop's database has no
// type for (bundles met on disks shared with other systems) get types of our own.
namespace types {
inline constexpr std::string_view kDirectory = "inode/directory";
inline constexpr std::string_view kSymlink = "inode/symlink";
inline constexpr std::string_view kOctetStream = "application/octet-stream";
inline constexpr std::string_view kPlainText = "text/plain";
inline constexpr std::string_view kHtml = "text/html";
inline constexpr std::string_view kPdf = "application/pdf";
inline constexpr std::string_view kPackage = "inode/x-package";
inline constexpr std::string_view kApplicationBundle = "inode/x-application-bundle";
inline constexpr std::string_view kPhotosLibrary = "inode/x-photos-library";
inline constexpr std::string_view kIPhotoLibrary = "inode/x-iphoto-library";
inline constexpr std::string_view kApertureLibrary = "inode/x-aperture-library";
inline constexpr std::string_view kMobileApplication = "application/x-ios-app";
inline constexpr std::string_view kWordDocument = "application/msword";
inline constexpr std::string_view kExcelWorkbook = "application/vnd.ms-excel";
inline constexpr std::string_view kPresentation = "application/vnd.ms-powerpoint";
inline constexpr std::string_view kPagesDocument = "application/vnd.apple.pages";
inline constexpr std::string_view kNumbersDocument = "application/vnd.apple.numbers";
}  // namespace types

}  // namespace zarnik
