#include "platform/file_lock.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "support/test_dir.h"

namespace zarnik {
namespace {

TEST(FileLock, OneHolderAtATimeAndOthersLearnWhoItIs) {
  testing::TestDir dir;
  const std::string path = dir / "session.lock";
  auto first = FileLock::tryLock(path, "zarnik clean");
  ASSERT_TRUE(first.hasValue()) << first.error().oneLine();
  ASSERT_TRUE(first.value().has_value());

  // Each lock is its own open file: a second one is refused even within this process.
  auto second = FileLock::tryLock(path, "zarnik select");
  ASSERT_TRUE(second.hasValue()) << second.error().oneLine();
  EXPECT_FALSE(second.value().has_value());
  const auto holder = FileLock::holderOf(path);
  ASSERT_TRUE(holder.has_value());
  EXPECT_EQ(holder->pid, ::getpid());
  EXPECT_EQ(holder->command, "zarnik clean");

  first.value().reset();  // released with the object
  auto third = FileLock::tryLock(path, "zarnik revert");
  ASSERT_TRUE(third.hasValue());
  EXPECT_TRUE(third.value().has_value());
  EXPECT_EQ(FileLock::holderOf(path)->command, "zarnik revert");
}

TEST(FileLock, AHolderFileThatSaysNothingUsefulGivesNoPid) {
  testing::TestDir dir;
  dir.file("garbage.lock", "not a pid\n");
  const auto holder = FileLock::holderOf(dir / "garbage.lock");
  ASSERT_TRUE(holder.has_value());
  EXPECT_FALSE(holder->pid.has_value());
  EXPECT_FALSE(FileLock::holderOf(dir / "missing.lock").has_value());
  EXPECT_TRUE(FileLock::tryLock(dir / "no/such/folder/x.lock", "zarnik scan").hasError());
}

}  // namespace
}  // namespace zarnik
