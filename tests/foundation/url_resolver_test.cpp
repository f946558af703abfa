#include "foundation/url_resolver.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

const OVURLResolver kResolver("/home/ann");

TEST(OVURLResolver, HomeAbbreviatesToTildeWithoutSeparator) {
  EXPECT_EQ(kResolver.abbreviatedPathForURL("/home/ann", true), "~");
  EXPECT_EQ(kResolver.abbreviatedPathForURL("/home/ann/", false), "~");
  EXPECT_EQ(kResolver.abbreviatedPath("/home/ann/"), "~");
}

TEST(OVURLResolver, FoldersGetOneTrailingSeparatorFilesNone) {
  EXPECT_EQ(kResolver.abbreviatedPathForURL("/home/ann/Pictures", true), "~/Pictures/");
  EXPECT_EQ(kResolver.abbreviatedPathForURL("/home/ann/Pictures/a.jpg", false), "~/Pictures/a.jpg");
  EXPECT_EQ(kResolver.abbreviatedPath("/home/ann/Pictures/"), "~/Pictures/");
  EXPECT_EQ(kResolver.abbreviatedPath("/home/ann/Pictures//"), "~/Pictures/");
}

TEST(OVURLResolver, RootAndPathsOutsideHomeStayAbsolute) {
  EXPECT_EQ(kResolver.abbreviatedPathForURL("/", true), "/");
  EXPECT_EQ(kResolver.abbreviatedPathForURL("/media/disk", true), "/media/disk/");
  EXPECT_EQ(kResolver.abbreviatedPathForURL("/home/anna/x", false), "/home/anna/x");
  EXPECT_EQ(kResolver.abbreviatedPath("relative/path"), "relative/path");
  EXPECT_EQ(kResolver.abbreviatedPath(""), "");
}

TEST(OVURLResolver, ExpansionIsTheInverse) {
  EXPECT_EQ(kResolver.expandedPathForPath("~/Music/"), "/home/ann/Music");
  EXPECT_EQ(kResolver.expandedPathForPath("~"), "/home/ann");
  EXPECT_EQ(kResolver.expandedPathForPath("/"), "/");
  EXPECT_EQ(kResolver.expandedPathForPath("/media/disk/"), "/media/disk");
  EXPECT_EQ(kResolver.expandedPathForPath("relative/x"), "relative/x");
  EXPECT_EQ(kResolver.expandedPathForPath(""), std::nullopt);
  for (const char* path : {"/home/ann/a/b.txt", "/srv/x", "/home/ann"}) {
    EXPECT_EQ(kResolver.expandedPathForPath(kResolver.abbreviatedPath(path, false)), path);
  }
}

TEST(OVURLResolver, NonUtf8ComponentsAreKeptAsBytes) {
  const std::string path = "/home/ann/caf\xE9/\nfile";
  const std::string abbreviated = kResolver.abbreviatedPath(path, false);
  EXPECT_EQ(abbreviated, "~/caf\xE9/\nfile");
  EXPECT_EQ(kResolver.expandedPathForPath(abbreviated), path);
}

TEST(OVURLResolver, StrippingABaseAndArchiving) {
  EXPECT_EQ(OVURLResolver::stripBaseFromPath("/a/b/c", "/a", std::nullopt), "b/c");
  EXPECT_EQ(OVURLResolver::stripBaseFromPath("/a", "/a/b", "~"), std::nullopt);
  EXPECT_EQ(OVURLResolver::abbreviateComponents(pathComponents("/x/y"), pathComponents("/a"), "~"), std::nullopt);
  auto decoded = OVURLResolver::decode(kResolver.encode());
  ASSERT_TRUE(decoded.hasValue());
  EXPECT_EQ(decoded.value(), kResolver);
  EXPECT_FALSE(decoded.value() == OVURLResolver("/home/bob"));
}

}  // namespace
}  // namespace zarnik
