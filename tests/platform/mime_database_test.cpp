#include "platform/mime_database.h"

#include <gtest/gtest.h>

#include "support/test_dir.h"

namespace zarnik {
namespace {

struct Expectation {
  const char* name;
  const char* type;
};

// The types every later part relies on, with the system database and without it.
constexpr Expectation kExpected[] = {
    {"a.jpg", "image/jpeg"}, {"a.JPEG", "image/jpeg"}, {"a.heic", "image/heif"},
    {"a.png", "image/png"},  {"a.mp3", "audio/mpeg"},  {"a.flac", "audio/flac"},
    {"a.mp4", "video/mp4"},  {"a.mov", "video/quicktime"}, {"a.mkv", "video/x-matroska"},
    {"a.zip", "application/zip"}, {"a.7z", "application/x-7z-compressed"},
    {"a.tar.gz", "application/x-compressed-tar"}, {"a.iso", "application/x-cd-image"},
    {"a.dmg", "application/x-apple-diskimage"}, {"a.pdf", "application/pdf"},
    {"a.txt", "text/plain"}, {"a.html", "text/html"}, {"a.pages", "application/vnd.apple.pages"},
    {"a.numbers", "application/vnd.apple.numbers"},
};

TEST(MimeDatabase, SystemDatabaseKnowsTheUsualTypes) {
  const MimeDatabase& db = MimeDatabase::shared();
  for (const auto& e : kExpected) {
    EXPECT_EQ(db.typeForFileName(e.name).name(), e.type) << e.name;
  }
}

TEST(MimeDatabase, BuiltInTableStandsInWhenNoDatabaseIsInstalled) {
  const MimeDatabase db = MimeDatabase::builtInOnly();
  for (const auto& e : kExpected) {
    EXPECT_EQ(db.typeForFileName(e.name).name(), e.type) << e.name;
  }
  EXPECT_EQ(db.typeForFileName("unknown.zzz").name(), types::kOctetStream);
  EXPECT_EQ(db.typeForFileName("noextension").name(), types::kOctetStream);
}

TEST(MimeDatabase, ReadsGlobsSubclassesAndAliasesOfAGivenFolder) {
  testing::TestDir dir;
  dir.file("mime/globs2",
           "# comment\n"
           "60:application/x-thing:*.thing\n"
           "40:application/x-weak:*.thing\n"
           "50:text/x-special:Specialfile:cs\n"
           "50:application/x-pattern:data[0-9].bin\n");
  dir.file("mime/subclasses", "application/x-thing application/zip\n");
  dir.file("mime/aliases", "application/x-old-thing application/x-thing\n");
  const MimeDatabase db = MimeDatabase::load({dir.path()});
  EXPECT_EQ(db.typeForFileName("x.thing").name(), "application/x-thing");
  EXPECT_EQ(db.typeForFileName("Specialfile").name(), "text/x-special");
  EXPECT_EQ(db.typeForFileName("data7.bin").name(), "application/x-pattern");
  EXPECT_TRUE(db.conforms(TypeIdentifier::named("application/x-thing"), "application/zip"));
  EXPECT_TRUE(db.conforms(TypeIdentifier::named("application/x-old-thing"), "application/zip"));
}

TEST(MimeDatabase, ConformanceFollowsSubclassesAndTextFamily) {
  const MimeDatabase& db = MimeDatabase::shared();
  EXPECT_TRUE(db.conforms(TypeIdentifier::named("text/html"), types::kPlainText));
  EXPECT_TRUE(db.conforms(TypeIdentifier::named("text/x-csrc"), types::kPlainText));
  EXPECT_TRUE(db.conforms(TypeIdentifier::named("image/jpeg"), types::kOctetStream));
  EXPECT_FALSE(db.conforms(TypeIdentifier::named("inode/directory"), types::kOctetStream));
  EXPECT_FALSE(db.conforms(TypeIdentifier::named("image/jpeg"), types::kPlainText));
  EXPECT_TRUE(db.conforms(TypeIdentifier::named(types::kApplicationBundle), types::kPackage));
}

TEST(MimeDatabase, DirectoriesAreTypedByBundleExtension) {
  const MimeDatabase& db = MimeDatabase::shared();
  EXPECT_EQ(db.typeForDirectoryName("Safari.app").name(), types::kApplicationBundle);
  EXPECT_EQ(db.typeForDirectoryName("Photos Library.photoslibrary").name(), types::kPhotosLibrary);
  EXPECT_EQ(db.typeForDirectoryName("Documents").name(), types::kDirectory);
  EXPECT_EQ(db.typeForDirectoryName("my.folder").name(), types::kDirectory);
}

}  // namespace
}  // namespace zarnik
