// The digest cache as a scan's readers use it: a file's state is its key, and a file changed
// too recently to trust its times is never kept.
#include "matching/cached_reading.h"

#include "support/test_dir.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

using testing::TestDir;

ExactFileHash digestOf(std::uint8_t first) {
  ExactFileHash hash;
  hash.data[0] = first;
  hash.size = 5;
  return hash;
}

class CachedReadingTest : public ::testing::Test {
 protected:
  TestDir dir;
  std::shared_ptr<DigestCache> cache = DigestCache::open({dir / "cache/digests.db"}).value();
  CachedReading reading{cache};
};

TEST_F(CachedReadingTest, AFileIsKeyedByItsStateAndNotKeptWhileItsChangeIsRecent) {
  const std::string path = dir.file("a.bin", "bytes");
  const auto look = reading.look(path, 5);
  ASSERT_TRUE(look.key.has_value());
  EXPECT_FALSE(look.known.has_value());
  EXPECT_FALSE(reading.look(path, 6).key.has_value())
      << "a file no longer of its listed size is read, not looked up";

  // Written just now: a second write in the same clock tick would leave its state as it is.
  reading.recordDigest(look, HashKind::exact, digestOf(1));
  (void)cache->flush().wait();
  EXPECT_FALSE(CachedReading::digestOf(reading.look(path, 5), HashKind::exact).has_value());

  // The same file as a scan sees it once it has settled.
  auto settled = look;
  settled.key->changed = look.readStart - std::chrono::seconds(3);
  reading.recordDigest(settled, HashKind::exact, digestOf(2));
  reading.recordDigest(settled, HashKind::exactAudioContent, digestOf(3));
  (void)cache->flush().wait();
  const auto known = cache->lookup(*settled.key);
  ASSERT_TRUE(known.has_value());
  EXPECT_EQ(known->sampledDigest, digestOf(2));
  EXPECT_EQ(known->audioDigest, digestOf(3));
}

TEST(CachedReading, WithoutACacheNothingIsLookedUpOrKept) {
  TestDir dir;
  const CachedReading none(DigestCache::disabled());
  EXPECT_FALSE(none.isOn());
  const auto look = none.look(dir.file("a.bin", "bytes"), 5);
  EXPECT_FALSE(look.key.has_value());
  none.recordDigest(look, HashKind::exact, digestOf(1));  // nothing to keep it in, nothing fails
}

}  // namespace
}  // namespace zarnik
