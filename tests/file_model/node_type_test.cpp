#include "file_model/node_type.h"

#include <gtest/gtest.h>

#include "platform/mime_database.h"

namespace zarnik {
namespace {

NodeType typeOfFile(const char* name) {
  NodeTypeDetectionInput input;
  input.typeIdentifier = MimeDatabase::shared().typeForFileName(name);
  std::string_view n(name);
  auto dot = n.rfind('.');
  input.pathExtension = dot == std::string_view::npos ? std::string_view() : n.substr(dot + 1);
  return detectTypeOfNodeWithAttributes(input);
}

NodeType typeOfDirectory(const char* name, bool libraries, bool bundleInfo, bool validApp) {
  NodeTypeDetectionInput input;
  input.typeIdentifier = MimeDatabase::shared().typeForDirectoryName(name);
  input.vnodeType = VNodeType::directory;
  input.shouldDetectMediaLibraries = libraries;
  input.hasBundleInfo = bundleInfo;
  input.isValidApplication = validApp;
  return detectTypeOfNodeWithAttributes(input);
}

TEST(NodeType, UsualFileNamesGetTheirKinds) {
  struct Case { const char* name; NodeType type; };
  const Case cases[] = {
      {"a.jpg", NodeType::image},   {"a.HEIC", NodeType::image},    {"a.png", NodeType::image},
      {"a.mp3", NodeType::audio},   {"a.m4a", NodeType::audio},     {"a.flac", NodeType::audio},
      {"a.wav", NodeType::audio},   {"a.mp4", NodeType::video},     {"a.mov", NodeType::video},
      {"a.mkv", NodeType::video},   {"a.zip", NodeType::archive},   {"a.tar.gz", NodeType::archive},
      {"a.7z", NodeType::archive},  {"a.iso", NodeType::archive},   {"a.dmg", NodeType::archive},
      {"a.pdf", NodeType::document}, {"a.txt", NodeType::document}, {"a.html", NodeType::document},
      {"a.docx", NodeType::document}, {"a.xlsx", NodeType::document}, {"a.pptx", NodeType::document},
      {"a.odt", NodeType::document}, {"a.pages", NodeType::document}, {"a.numbers", NodeType::document},
      {"a.doc", NodeType::document}, {"a.ipa", NodeType::mobileApplication},
      {"a.unknownext", NodeType::other}, {"Makefile", NodeType::document},
  };
  for (const auto& c : cases) EXPECT_EQ(typeOfFile(c.name), c.type) << c.name;
}

TEST(NodeType, ApplicationsNeedValidBundleInformation) {
  EXPECT_EQ(typeOfDirectory("Tool.app", false, true, true), NodeType::macApplication);
  EXPECT_EQ(typeOfDirectory("Tool.app", false, false, false), NodeType::other);
  EXPECT_EQ(typeOfDirectory("Photos Library.photoslibrary", true, false, false), NodeType::photosLibrary);
  EXPECT_EQ(typeOfDirectory("Photos Library.photoslibrary", false, false, false), NodeType::other);
  EXPECT_EQ(typeOfDirectory("Old.aplibrary", true, false, false), NodeType::apertureLibrary);
  EXPECT_EQ(typeOfDirectory("iPhoto Library.photolibrary", true, false, false), NodeType::iPhotoLibrary);
}

TEST(NodeType, PredicatesAndRawValues) {
  for (NodeType type : kAllNodeTypes) {
    EXPECT_EQ(nodeTypeFromRawValue(rawValue(type)), type);
    EXPECT_EQ(isEnumerationAllowed(type), type != NodeType::macApplication);
  }
  EXPECT_EQ(rawValue(NodeType::iPhotoLibrary), "IPhotoLibrary");
  EXPECT_TRUE(isMediaLibrary(NodeType::iTunesLibrary));
  EXPECT_FALSE(isBundle(NodeType::iTunesLibrary));
  EXPECT_TRUE(isBundle(NodeType::macApplication));
  EXPECT_TRUE(isMediaItem(NodeType::video));
  EXPECT_FALSE(allowsReplacementWithHardLinks(NodeType::macApplication));
  EXPECT_TRUE(allowsReplacementWithHardLinks(NodeType::other));
  EXPECT_FALSE(nodeTypeFromRawValue("Nonsense").has_value());
  EXPECT_EQ(pathExtensions(NodeType::photosLibrary), std::vector<std::string_view>{"photoslibrary"});
}

}  // namespace
}  // namespace zarnik
