#include "platform/process_launcher.h"

#include "support/test_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

namespace zarnik {
namespace {

TEST(ProcessLauncher, FindsProgramsInThePathAndNamedByPath) {
  EXPECT_EQ(findProgram("sh").value_or("").substr(0, 1), "/");
  EXPECT_EQ(findProgram("/bin/sh"), std::optional<std::string>("/bin/sh"));
  EXPECT_FALSE(findProgram("zarnik-no-such-program"));
  EXPECT_FALSE(findProgram(""));
}

TEST(ProcessLauncher, NamesAProgramThatCannotBeStarted) {
  auto launched = launchDetached({"zarnik-no-such-program", "--review"});

  ASSERT_TRUE(launched.hasError());
  EXPECT_EQ(launched.error().path, "zarnik-no-such-program");
}

TEST(ProcessLauncher, SaysWhyAFileThatIsNoProgramCannotRun) {
  testing::TestDir dir;
  const std::string script = dir.file("not-a-program", "plain text");
  ASSERT_EQ(::chmod(script.c_str(), 0755), 0);

  auto launched = launchDetached({script});

  ASSERT_TRUE(launched.hasError());
  EXPECT_EQ(launched.error().code, ENOEXEC);
}

}  // namespace
}  // namespace zarnik
