#include "platform/install_layout.h"

#include "support/test_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace zarnik {
namespace {

TEST(InstallLayout, AProgramInABinFolderFindsItsFilesUnderThePrefix) {
  testing::TestDir prefix;
  prefix.dir("bin");
  auto layout = installLayoutAround(prefix / "bin");
  ASSERT_TRUE(layout.hasValue()) << layout.error().oneLine();
  EXPECT_EQ(layout.value().programFolder, prefix / "bin");
  EXPECT_EQ(layout.value().moduleFolder, prefix / "lib/zarnik");
  EXPECT_EQ(layout.value().resourceFolder, prefix / "share/zarnik");
  EXPECT_EQ(layout.value().modulePath("libzarnik_picture_codec.so"),
            prefix / "lib/zarnik/libzarnik_picture_codec.so");
  EXPECT_EQ(layout.value().resourcePath("default-settings.json"),
            prefix / "share/zarnik/default-settings.json");
}

TEST(InstallLayout, AMovedPrefixIsFollowedWithNothingCompiledIn) {
  testing::TestDir first;
  testing::TestDir second;
  first.dir("usr/bin");
  second.dir("opt/zarnik/bin");
  EXPECT_EQ(installLayoutAround(first / "usr/bin").value().moduleFolder, first / "usr/lib/zarnik");
  EXPECT_EQ(installLayoutAround(second / "opt/zarnik/bin/").value().moduleFolder,
            second / "opt/zarnik/lib/zarnik");
}

TEST(InstallLayout, AProgramInABuildTreeFindsItsFilesAtTheTopOfTheTree) {
  testing::TestDir build;
  build.file("CMakeCache.txt", "# a build tree\n");
  build.dir("src/cli");
  build.dir("tests");
  auto fromProgram = installLayoutAround(build / "src/cli");
  ASSERT_TRUE(fromProgram.hasValue()) << fromProgram.error().oneLine();
  EXPECT_EQ(fromProgram.value().moduleFolder, build / "lib/zarnik");
  EXPECT_EQ(fromProgram.value().resourceFolder, build / "share/zarnik");
  EXPECT_EQ(installLayoutAround(build / "tests").value().moduleFolder, build / "lib/zarnik");
}

TEST(InstallLayout, AProgramNeitherInstalledNorBuiltHereIsAnErrorNamingItsFolder) {
  testing::TestDir elsewhere;
  elsewhere.dir("tools");
  elsewhere.dir("cache/CMakeCache.txt");  // a folder of that name does not make a build tree
  auto layout = installLayoutAround(elsewhere / "tools");
  ASSERT_TRUE(layout.hasError());
  EXPECT_NE(layout.error().oneLine().find(elsewhere / "tools"), std::string::npos);
  EXPECT_TRUE(installLayoutAround(elsewhere / "cache").hasError());
}

TEST(InstallLayout, TheRunningTestProgramFindsTheBuildTreeItWasBuiltIn) {
  const auto& layout = installLayout();
  ASSERT_TRUE(layout.hasValue()) << layout.error().oneLine();
  const std::string top =
      layout.value().moduleFolder.substr(0, layout.value().moduleFolder.size() - 11);
  EXPECT_EQ(layout.value().moduleFolder, top + "/lib/zarnik");
  EXPECT_EQ(::access((top + "/CMakeCache.txt").c_str(), F_OK), 0) << top;
}

}  // namespace
}  // namespace zarnik
