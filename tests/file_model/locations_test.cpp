#include <gtest/gtest.h>

#include <plist/plist.h>

#include "file_model/cloud_service.h"
#include "file_model/music_library_location.h"
#include "file_model/scan_location.h"
#include "file_model/version.h"
#include "support/test_dir.h"

namespace zarnik {
namespace {

using testing::TestDir;

TEST(ScanLocation, AbbreviatesInsideHomeAndArchivesWithBookmark) {
  TestDir home;
  home.dir("Pictures");
  const OVURLResolver resolver(home.path());
  auto location = ScanLocation::make(home / "Pictures", resolver);
  ASSERT_NE(location, nullptr);
  EXPECT_EQ(location->abbreviatedPath(), "~/Pictures/");
  EXPECT_EQ(location->path(), home / "Pictures");
  EXPECT_EQ(location->relativePath(home / "Pictures/a/b.jpg"), "a/b.jpg");
  EXPECT_EQ(location->relativePath(home / "Pictures"), "");
  EXPECT_FALSE(location->relativePath(home / "PicturesOld/a.jpg").has_value());
  auto decoded = ScanLocation::decode(location->encode());
  ASSERT_TRUE(decoded.hasValue());
  EXPECT_EQ(*decoded.value(), *location);
  EXPECT_EQ(ScanLocation::make(home / "missing", resolver), nullptr);
}

TEST(ScanLocation, ALocationWithoutUrlHasNoRelativePaths) {
  auto location = ScanLocation::make(std::nullopt, std::nullopt, "~/Gone/");
  EXPECT_FALSE(location->url().has_value());
  EXPECT_FALSE(location->relativePath("/anything").has_value());
}

TEST(CloudServiceFolders, ItemsInsideAServiceFolderBelongToIt) {
  CloudServiceFolders folders;
  folders.add(CloudService::dropbox, "/home/ann/Dropbox/");
  EXPECT_EQ(folders.serviceForPath("/home/ann/Dropbox/a.txt"), CloudService::dropbox);
  EXPECT_EQ(folders.serviceForPath("/home/ann/Dropbox"), CloudService::dropbox);
  EXPECT_EQ(folders.serviceForPath("/home/ann/DropboxOld/a.txt"), std::nullopt);
  EXPECT_EQ(folders.rootServiceForPath("/home/ann/Dropbox/"), CloudService::dropbox);
  EXPECT_EQ(folders.rootServiceForPath("/home/ann/Dropbox/a"), std::nullopt);
  EXPECT_EQ(cloudServiceFromRawValue("ICloudDrive"), CloudService::iCloudDrive);
  EXPECT_EQ(displayTitle(CloudService::googleDrive), "Google Drive");
}

TEST(Version, ComparesNumberByNumber) {
  EXPECT_LT(*Version::parse("10.9"), *Version::parse("10.10"));
  EXPECT_EQ(*Version::parse("1.0"), *Version::parse("1"));
  EXPECT_EQ(Version::parse("2.1b3")->string(), "2.1");
  EXPECT_FALSE(Version::parse("beta").has_value());
}

TEST(MusicLibraryLocation, FindsTheLibraryFolderByItsFiles) {
  TestDir home;
  const OVURLResolver resolver(home.path());
  MusicLibraryLocation finder(resolver);
  EXPECT_FALSE(finder.pathOfCurrentITunesLibrary().has_value());
  home.file("Music/iTunes/iTunes Library.itl", "db");
  home.dir("Music/iTunes/iTunes Media");
  EXPECT_EQ(finder.pathOfCurrentITunesLibrary(), "~/Music/iTunes/");
  EXPECT_EQ(finder.urlOfMediaFolderLocation(), home / "Music/iTunes/iTunes Media");
}

TEST(MusicLibraryLocation, FallsBackToTheLegacyRecentDatabaseList) {
  TestDir home;
  const OVURLResolver resolver(home.path());
  home.file("Library/Preferences/com.apple.iApps.plist",
            "<plist><dict><key>iTunesRecentDatabasePaths</key><array>"
            "<string>~/Old Music/iTunes Library.xml</string></array></dict></plist>");
  MusicLibraryLocation finder(resolver);
  EXPECT_FALSE(finder.modernPathOfCurrentITunesLibrary().has_value());
  EXPECT_EQ(finder.pathOfCurrentITunesLibrary(), "~/Old Music/");
}

}  // namespace
}  // namespace zarnik
