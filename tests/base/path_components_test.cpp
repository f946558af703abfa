#include "base/path_components.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

TEST(PathComponents, AbsolutePathStartsWithRootAndTrailingSeparatorIsAComponent) {
  EXPECT_EQ(pathComponents("/tmp/a"), (PathComponents{"/", "tmp", "a"}));
  EXPECT_EQ(pathComponents("/tmp/a/"), (PathComponents{"/", "tmp", "a", "/"}));
  EXPECT_EQ(pathComponents("/"), (PathComponents{"/"}));
  EXPECT_EQ(pathComponents("//tmp///a"), (PathComponents{"/", "tmp", "a"}));
  EXPECT_EQ(pathComponents("rel/x"), (PathComponents{"rel", "x"}));
  EXPECT_TRUE(pathComponents("").empty());
}

TEST(PathComponents, JoiningIsTheInverse) {
  for (const char* path : {"/tmp/a", "/tmp/a/", "/", "rel/x", "~/Music/"}) {
    EXPECT_EQ(pathFromComponents(pathComponents(path)), path);
  }
}

TEST(PathComponents, ExtensionsAndNames) {
  EXPECT_EQ(pathExtension("/a/b.JPG"), "JPG");
  EXPECT_EQ(pathExtension("/a/archive.tar.gz"), "gz");
  EXPECT_EQ(pathExtension("/a/.bashrc"), "");
  EXPECT_EQ(pathExtension("/a/noext"), "");
  EXPECT_EQ(pathExtension("/a/trailing."), "");
  EXPECT_EQ(lastPathComponent("/a/b/"), "b");
  EXPECT_EQ(lastPathComponent("/"), "/");
  EXPECT_EQ(parentPath("/a/b"), "/a");
  EXPECT_EQ(parentPath("/a"), "/");
  EXPECT_EQ(numberedName("photo.jpg", 1, "."), "photo.jpg");
  EXPECT_EQ(numberedName("photo.jpg", 3, "."), "photo.3.jpg");
  EXPECT_EQ(numberedName("report.pdf", 2, " "), "report 2.pdf");
  EXPECT_EQ(numberedName(".bashrc", 2, "."), ".bashrc.2");  // a leading dot is no extension
}

TEST(PathComponents, PrefixComparesWholeComponents) {
  const PathComponents a = pathComponents("/a");
  EXPECT_TRUE(hasComponentPrefix(pathComponents("/a/x"), a));
  EXPECT_FALSE(hasComponentPrefix(pathComponents("/ab/x"), a));
  EXPECT_FALSE(hasComponentPrefix(a, pathComponents("/a/x")));
}

}  // namespace
}  // namespace zarnik

namespace zarnik {
namespace {

TEST(PathComponents, LoweringTouchesAsciiLettersOnly) {
  EXPECT_EQ(asciiLowercased("IMG.JPG"), "img.jpg");
  EXPECT_EQ(asciiLowercased("\xC3\x89T\xC3\x89"), "\xC3\x89t\xC3\x89");  // "ÉTÉ": only the T changes
  EXPECT_EQ(lowercasedPathExtension("/a/Photo.HEIC"), "heic");
  EXPECT_EQ(lowercasedPathExtension("/a/.Hidden"), "");
}

}  // namespace
}  // namespace zarnik
