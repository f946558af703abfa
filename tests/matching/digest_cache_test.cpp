#include "matching/digest_cache.h"

#include "support/made_up_digests.h"
#include "support/test_dir.h"

#include "matching/internal/digest_cache_codec.h"
#include "platform/sqlite_database.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace zarnik {
namespace {

using testing::madeUpDigest;
using testing::TestDir;

constexpr std::int64_t kFirstDay = 20'000;

DigestCacheKey keyOf(std::uint64_t inode, std::uint64_t device = 2049) {
  DigestCacheKey key;
  key.file = FileId{device, inode};
  key.size = static_cast<ByteCount>(1000 + inode);
  key.modified =
      Date(std::chrono::nanoseconds(1'700'000'000'123'456'789 + static_cast<std::int64_t>(inode)));
  key.changed =
      Date(std::chrono::nanoseconds(1'700'000'100'987'654'321 + static_cast<std::int64_t>(inode)));
  return key;
}

DigestCacheValues valuesOf(std::uint64_t inode) {
  DigestCacheValues values;
  values.contentPrefixHash = inode * 0x9E3779B97F4A7C15ULL;  // uses the top bit too
  values.sampledDigest = madeUpDigest(inode, static_cast<ByteCount>(1000 + inode));
  return values;
}

ImageInfo pictureInfo() {
  ImageInfo info;
  info.size = ImageSize{4000, 3000};
  info.cameraInfo = CameraInfo{"Fujifilm", "X-T3", std::nullopt};
  info.creationDate = Date(std::chrono::nanoseconds(1'600'000'000'250'000'000));
  info.creationMsec = 250;
  info.softwareName = "Darktable";
  info.location = GeoLocation{48.8566, 2.3522, 35.5};
  info.iso = 400;
  return info;
}

std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class DigestCacheTest : public ::testing::Test {
 protected:
  TestDir dir;
  Logger logger;
  std::string path = dir / "cache/zarnik/digests.db";
  std::atomic<std::int64_t> day{kFirstDay};

  void SetUp() override { logger.setFilePath(dir / "zarnik.log"); }

  DigestCacheOptions options() {
    DigestCacheOptions options;
    options.path = path;
    options.logger = &logger;
    options.now = [this] { return Date(std::chrono::days(day.load()) + std::chrono::hours(13)); };
    return options;
  }

  std::shared_ptr<DigestCache> open(DigestCacheOptions settings) {
    auto cache = DigestCache::open(std::move(settings));
    if (cache.hasError()) {
      ADD_FAILURE() << cache.error().oneLine();
      return DigestCache::disabled();
    }
    return cache.value();
  }
  std::shared_ptr<DigestCache> open() { return open(options()); }

  // The entries the cache wrote to the log.
  std::vector<std::string> logEntries() {
    logger.flush();
    std::istringstream text(contentsOf(dir / "zarnik.log"));
    std::vector<std::string> entries;
    for (std::string line; std::getline(text, line);) {
      if (line.find("[DigestCache]") != std::string::npos) entries.push_back(line);
    }
    return entries;
  }

  // A cache file holding `count` entries, closed.
  void makeCacheWith(std::uint64_t count) {
    auto cache = open();
    for (std::uint64_t inode = 1; inode <= count; ++inode)
      cache->record(keyOf(inode), valuesOf(inode));
  }

  // That the cache at `path` works: what is recorded is found.
  void expectWorkingCache(DigestCache& cache) {
    EXPECT_TRUE(cache.isEnabled());
    cache.record(keyOf(777), valuesOf(777));
    ASSERT_TRUE(cache.flush().wait().hasValue());
    auto found = cache.lookup(keyOf(777));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->sampledDigest, valuesOf(777).sampledDigest);
  }
};

void expectSameValues(const DigestCacheValues& found, const DigestCacheValues& expected) {
  EXPECT_EQ(found.contentPrefixHash, expected.contentPrefixHash);
  EXPECT_EQ(found.sampledDigest, expected.sampledDigest);
  EXPECT_EQ(found.audioDigest, expected.audioDigest);
  ASSERT_EQ(found.picture != nullptr, expected.picture != nullptr);
  if (!found.picture) return;
  EXPECT_EQ(found.picture->facts.info, expected.picture->facts.info);
  EXPECT_EQ(found.picture->facts.hashes, expected.picture->facts.hashes);
  EXPECT_EQ(found.picture->hashesIncluded, expected.picture->hashesIncluded);
}

// --- keys and values

TEST_F(DigestCacheTest, FindsAnEntryOnlyWhenEveryKeyFieldMatches) {
  const DigestCacheKey key = keyOf(42);
  {
    auto cache = open();
    cache->record(key, valuesOf(42));
  }
  auto cache = open();
  auto found = cache->lookup(key);
  ASSERT_TRUE(found.has_value());
  expectSameValues(*found, valuesOf(42));

  std::vector<std::pair<const char*, DigestCacheKey>> changed(5, {"", key});
  changed[0].first = "device";
  changed[0].second.file.device += 1;
  changed[1].first = "inode";
  changed[1].second.file.inode += 1;
  changed[2].first = "size";
  changed[2].second.size += 1;
  changed[3].first = "modification time";
  changed[3].second.modified += std::chrono::nanoseconds(1);
  // Rewritten in place with its size and modification time put back: only the change time tells.
  changed[4].first = "change time";
  changed[4].second.changed += std::chrono::nanoseconds(1);
  for (const auto& [field, other] : changed)
    EXPECT_FALSE(cache->lookup(other).has_value()) << field;
  EXPECT_TRUE(cache->lookup(key).has_value());
}

TEST_F(DigestCacheTest, KeepsEveryValueRecordedApartInTheFilesEntry) {
  const DigestCacheKey key = keyOf(7);
  DigestCacheValues expected;
  expected.contentPrefixHash = 0xFEDCBA9876543210ULL;
  expected.sampledDigest = madeUpDigest(1, key.size);
  expected.audioDigest = madeUpDigest(2, 812'345);
  expected.picture = std::make_shared<CachedPictureFacts>(
      CachedPictureFacts{ImageFacts{pictureInfo(), {1, 0xFFFFFFFFFFFFFFFFULL, 3, 4}}, true});
  {
    // Each value in a write of its own, as the stages of a scan learn them.
    auto cache = open();
    cache->recordContentPrefixHash(key, *expected.contentPrefixHash);
    (void)cache->flush().wait();
    cache->recordSampledDigest(key, *expected.sampledDigest);
    (void)cache->flush().wait();
    cache->recordAudioDigest(key, *expected.audioDigest);
    (void)cache->flush().wait();
    cache->recordPicture(key, expected.picture->facts, true);
  }
  auto found = open()->lookup(key);
  ASSERT_TRUE(found.has_value());
  expectSameValues(*found, expected);
}

TEST_F(DigestCacheTest, LookupsSeeWhatWasRecordedBeforeItIsWritten) {
  auto cache = open();
  cache->recordContentPrefixHash(keyOf(5), 99);
  auto found = cache->lookup(keyOf(5));
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->contentPrefixHash, 99u);
  EXPECT_FALSE(cache->lookup(keyOf(6)).has_value());
}

TEST_F(DigestCacheTest, ForgetsWhatWasKnownOfAFileThatChanged) {
  const DigestCacheKey before = keyOf(9);
  DigestCacheKey after = before;
  after.changed += std::chrono::seconds(5);
  for (const bool writtenBetween : {true, false}) {
    SCOPED_TRACE(writtenBetween ? "written between" : "recorded in one batch");
    DigestCacheOptions settings = options();
    settings.path = dir / (writtenBetween ? "between.db" : "together.db");
    auto cache = open(settings);
    cache->record(before, valuesOf(9));
    if (writtenBetween) (void)cache->flush().wait();
    cache->recordContentPrefixHash(after, 1234);
    (void)cache->flush().wait();
    EXPECT_FALSE(cache->lookup(before).has_value());
    auto found = cache->lookup(after);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->contentPrefixHash, 1234u);
    EXPECT_FALSE(found->sampledDigest.has_value()) << "a digest of the old content was kept";
  }
}

TEST_F(DigestCacheTest, KeepsPictureHashesWhenOnlyThePicturesFactsAreRecordedLater) {
  const DigestCacheKey key = keyOf(11);
  ImageInfo later = pictureInfo();
  later.softwareName = "GIMP";
  {
    auto cache = open();
    cache->recordPicture(key, ImageFacts{pictureInfo(), {5, 6, 7, 8}}, true);
    (void)cache->flush().wait();
    cache->recordPicture(key, ImageFacts{later, {}}, false);
  }
  auto found = open()->lookup(key);
  ASSERT_TRUE(found.has_value() && found->picture);
  EXPECT_EQ(found->picture->facts.info, later);
  EXPECT_TRUE(found->picture->hashesIncluded);
  EXPECT_EQ(found->picture->facts.hashes, (std::vector<std::uint64_t>{5, 6, 7, 8}));
}

TEST_F(DigestCacheTest, TellsAFileThatIsNoPictureFromOneNotYetLookedAt) {
  {
    auto cache = open();
    cache->recordPicture(keyOf(1), ImageFacts{}, true);                    // could not be decoded
    cache->recordPicture(keyOf(2), ImageFacts{pictureInfo(), {}}, false);  // header read only
    cache->recordSampledDigest(keyOf(3), madeUpDigest(3, 1003));
  }
  auto cache = open();
  auto undecodable = cache->lookup(keyOf(1));
  ASSERT_TRUE(undecodable.has_value() && undecodable->picture);
  EXPECT_FALSE(undecodable->picture->facts.info.has_value());
  EXPECT_TRUE(undecodable->picture->hashesIncluded);
  EXPECT_TRUE(undecodable->picture->facts.hashes.empty());
  auto headerOnly = cache->lookup(keyOf(2));
  ASSERT_TRUE(headerOnly.has_value() && headerOnly->picture);
  EXPECT_EQ(headerOnly->picture->facts.info, pictureInfo());
  EXPECT_FALSE(headerOnly->picture->hashesIncluded);
  auto notLookedAt = cache->lookup(keyOf(3));
  ASSERT_TRUE(notLookedAt.has_value());
  EXPECT_EQ(notLookedAt->picture, nullptr);
}

TEST_F(DigestCacheTest, AnswersABatchInTheOrderOfItsKeys) {
  {
    auto cache = open();
    for (std::uint64_t inode = 1; inode <= 20; inode += 2)
      cache->record(keyOf(inode), valuesOf(inode));
  }
  std::vector<DigestCacheKey> keys;
  for (std::uint64_t inode = 20; inode >= 1; --inode) keys.push_back(keyOf(inode));
  const auto found = open()->lookupMany(keys);
  ASSERT_EQ(found.size(), keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::uint64_t inode = keys[i].file.inode;
    ASSERT_EQ(found[i].has_value(), inode % 2 == 1) << inode;
    if (found[i]) {
      EXPECT_EQ(found[i]->sampledDigest, valuesOf(inode).sampledDigest);
    }
  }
}

TEST(DigestCacheValueBytes, DecodeToNothingWhenTheyHaveTheWrongShape) {
  using namespace digest_cache;
  EXPECT_EQ(decodeDigest(encodeDigest(madeUpDigest(4, 123456789012))),
            madeUpDigest(4, 123456789012));
  EXPECT_FALSE(decodeDigest(std::string(27, 'x')).has_value());
  EXPECT_FALSE(decodePerceptualHashes(std::string(12, 'x')).has_value());
  using PictureInfo = std::optional<std::optional<ImageInfo>>;
  EXPECT_EQ(decodePictureInfo(encodePictureInfo(pictureInfo())), PictureInfo(pictureInfo()));
  EXPECT_EQ(decodePictureInfo(""), PictureInfo(std::optional<ImageInfo>()));
  EXPECT_FALSE(decodePictureInfo("{\"size\": 3").has_value());
  EXPECT_FALSE(decodePictureInfo("[1, 2]").has_value());
}

// --- a damaged file

TEST_F(DigestCacheTest, StartsEmptyInPlaceOfATruncatedFile) {
  makeCacheWith(3000);
  std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
  auto cache = open();
  EXPECT_EQ(logEntries().size(), 1u);
  EXPECT_FALSE(cache->lookup(keyOf(1)).has_value());
  EXPECT_FALSE(cache->lookup(keyOf(3000)).has_value());
  expectWorkingCache(*cache);
}

TEST_F(DigestCacheTest, StartsEmptyInPlaceOfAFileOfRandomBytes) {
  std::string noise(size_t{64} * 1024, '\0');
  std::mt19937 random(3);
  for (char& byte : noise) byte = static_cast<char>(random());
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << noise;
  auto cache = open();
  EXPECT_EQ(logEntries().size(), 1u);
  expectWorkingCache(*cache);
  EXPECT_NE(contentsOf(path).substr(0, 100), noise.substr(0, 100));
}

TEST_F(DigestCacheTest, StartsEmptyInPlaceOfAFileOfANewerFormat) {
  makeCacheWith(10);
  {
    auto database = SqliteDatabase::open(path);
    ASSERT_TRUE(database.hasValue());
    ASSERT_TRUE(database.value()->setUserVersion(2).hasValue());
  }
  auto cache = open();
  const auto entries = logEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_NE(entries[0].find("removed it and started an empty one"), std::string::npos)
      << entries[0];
  EXPECT_FALSE(cache->lookup(keyOf(1)).has_value());
  expectWorkingCache(*cache);
  EXPECT_EQ(SqliteDatabase::open(path).value()->userVersion().value(), 1);
}

TEST_F(DigestCacheTest, StartsEmptyInPlaceOfAnotherProgramsDatabase) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  {
    auto database = SqliteDatabase::open(path);
    ASSERT_TRUE(database.hasValue());
    ASSERT_TRUE(database.value()->execute("CREATE TABLE entries (device, inode)").hasValue());
    ASSERT_TRUE(database.value()->setUserVersion(1).hasValue());
  }
  auto cache = open();
  EXPECT_EQ(logEntries().size(), 1u);
  expectWorkingCache(*cache);
}

TEST_F(DigestCacheTest, TurnsItselfOffWhenItsFileIsFoundDamagedWhileOpen) {
  makeCacheWith(10);
  auto cache = open();
  // Overwritten in place while open, before the first lookup reads it.
  std::fstream(path, std::ios::binary | std::ios::in | std::ios::out) << std::string(4096, '\x5a');
  EXPECT_FALSE(cache->lookup(keyOf(1)).has_value());
  EXPECT_FALSE(cache->isEnabled());
  cache->record(keyOf(1), valuesOf(1));
  EXPECT_FALSE(cache->lookup(keyOf(1)).has_value());
  EXPECT_TRUE(cache->flush().wait().hasValue());
  EXPECT_EQ(logEntries().size(), 1u);
  // Removed, so that the next run starts a new one.
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(DigestCacheTest, GoesWithoutWhenItsFolderCannotBeMade) {
  const std::string blocker = dir.file("cache-is-a-file", "x");
  DigestCacheOptions settings = options();
  settings.path = blocker + "/zarnik/digests.db";
  auto cache = DigestCache::openOrDisabled(settings);
  EXPECT_FALSE(cache->isEnabled());
  cache->record(keyOf(1), valuesOf(1));
  EXPECT_FALSE(cache->lookup(keyOf(1)).has_value());
  EXPECT_EQ(logEntries().size(), 1u);
}

TEST(DigestCacheDisabled, KnowsNothingAndKeepsNothing) {
  auto cache = DigestCache::disabled();
  EXPECT_FALSE(cache->isEnabled());
  cache->record(keyOf(1), valuesOf(1));
  EXPECT_FALSE(cache->lookup(keyOf(1)).has_value());
  EXPECT_TRUE(cache->flush().wait().hasValue());
}

// --- bounds

TEST_F(DigestCacheTest, PruningKeepsTheMostRecentlyUsedEntries) {
  DigestCacheOptions settings = options();
  settings.maximumEntries = 10;
  auto cache = open(settings);
  for (std::uint64_t inode = 0; inode < 10; ++inode) cache->record(keyOf(inode), valuesOf(inode));
  (void)cache->flush().wait();
  day = kFirstDay + 1;  // files 0 to 3 are found again the next day
  for (std::uint64_t inode = 0; inode < 4; ++inode)
    EXPECT_TRUE(cache->lookup(keyOf(inode)).has_value());
  (void)cache->flush().wait();
  day = kFirstDay + 2;  // five new files: 15 entries, pruned to 9
  for (std::uint64_t inode = 10; inode < 15; ++inode) cache->record(keyOf(inode), valuesOf(inode));
  (void)cache->flush().wait();
  for (std::uint64_t inode = 0; inode < 15; ++inode) {
    EXPECT_EQ(cache->lookup(keyOf(inode)).has_value(), inode < 4 || inode >= 10) << inode;
  }
}

TEST_F(DigestCacheTest, PrunesWhenOpenedWithASmallerMaximum) {
  {
    auto cache = open();
    for (std::uint64_t inode = 0; inode < 6; ++inode) cache->record(keyOf(inode), valuesOf(inode));
    (void)cache->flush().wait();
    day = kFirstDay + 1;
    for (std::uint64_t inode = 6; inode < 12; ++inode) cache->record(keyOf(inode), valuesOf(inode));
  }
  DigestCacheOptions settings = options();
  settings.maximumEntries = 6;
  auto cache = open(settings);
  (void)cache->flush().wait();
  for (std::uint64_t inode = 0; inode < 12; ++inode) {
    EXPECT_EQ(cache->lookup(keyOf(inode)).has_value(), inode >= 6) << inode;
  }
}

// --- sharing the file

TEST_F(DigestCacheTest, DropsAWriteThatWaitsTooLongForAnotherScan) {
  DigestCacheOptions settings = options();
  settings.busyTimeout = std::chrono::milliseconds(50);
  auto cache = open(settings);
  auto other = SqliteDatabase::open(path);
  ASSERT_TRUE(other.hasValue());
  {
    auto transaction = SqliteTransaction::begin(*other.value());
    ASSERT_TRUE(transaction.hasValue());
    cache->record(keyOf(1), valuesOf(1));
    EXPECT_TRUE(cache->flush().wait().hasValue());
  }
  const auto entries = logEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_NE(entries[0].find("busy"), std::string::npos) << entries[0];
  EXPECT_TRUE(cache->isEnabled());
  EXPECT_FALSE(cache->lookup(keyOf(1)).has_value());
  expectWorkingCache(*cache);
}

// Records `count` entries from `first` on, two threads per cache, looking each batch up again.
void recordAndLookUp(DigestCache& cache, std::uint64_t first, std::uint64_t count) {
  std::vector<std::thread> threads;
  for (std::uint64_t part = 0; part < 2; ++part) {
    threads.emplace_back([&cache, first, count, part] {
      std::vector<DigestCacheKey> batch;
      for (std::uint64_t inode = first + part; inode < first + count; inode += 2) {
        cache.record(keyOf(inode), valuesOf(inode));
        batch.push_back(keyOf(inode));
        if (batch.size() == 16) {
          for (const auto& found : cache.lookupMany(batch)) EXPECT_TRUE(found.has_value());
          batch.clear();
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
}

void expectEveryEntryAndASoundFile(const std::string& path, DigestCache& cache,
                                   std::uint64_t count) {
  std::vector<DigestCacheKey> keys;
  for (std::uint64_t inode = 0; inode < count; ++inode) keys.push_back(keyOf(inode));
  const auto found = cache.lookupMany(keys);
  size_t missing = 0;
  for (std::uint64_t inode = 0; inode < count; ++inode) {
    if (!found[inode] || found[inode]->sampledDigest != valuesOf(inode).sampledDigest) ++missing;
  }
  EXPECT_EQ(missing, 0u);
  auto database = SqliteDatabase::open(path);
  ASSERT_TRUE(database.hasValue());
  auto check = database.value()->prepare("PRAGMA integrity_check");
  ASSERT_TRUE(check.hasValue());
  ASSERT_TRUE(check.value().step().valueOr(false));
  EXPECT_EQ(check.value().text(0), "ok");
}

TEST_F(DigestCacheTest, TwoCachesSharingTheFileKeepEveryRecordedValue) {
  DigestCacheOptions settings = options();
  settings.recordsPerTransaction = 64;  // many transactions, interleaved
  {
    auto first = open(settings);
    auto second = open(settings);
    std::thread other([&] { recordAndLookUp(*second, 2000, 2000); });
    recordAndLookUp(*first, 0, 2000);
    other.join();
  }
  EXPECT_TRUE(logEntries().empty());
  expectEveryEntryAndASoundFile(path, *open(), 4000);
}

// The second process of the test below: records its share and ends, when asked to by the
// environment. It runs before the tests, in the test program started anew.
constexpr const char* kChildVariable = "ZARNIK_DIGEST_CACHE_SECOND_SCAN";

[[maybe_unused]] const bool kRanAsSecondScan = [] {
  const char* cachePath = std::getenv(kChildVariable);
  if (cachePath == nullptr) return false;
  bool recordedAll = false;
  {
    Logger silent;
    silent.setFilePath("");  // the first process checks the outcome
    DigestCacheOptions settings;
    settings.path = cachePath;
    settings.logger = &silent;
    settings.recordsPerTransaction = 64;
    auto cache = DigestCache::open(settings);
    if (cache.hasValue()) {
      recordAndLookUp(*cache.value(), 3000, 3000);
      recordedAll = cache.value()->isEnabled();
    }
  }
  std::_Exit(recordedAll ? 0 : 1);
}();

TEST_F(DigestCacheTest, TwoProcessesSharingTheFileKeepEveryRecordedValue) {
  DigestCacheOptions settings = options();
  settings.recordsPerTransaction = 64;
  auto cache = open(settings);  // made before the second process starts on it
  const std::string variable = std::string(kChildVariable) + "=" + path;
  std::vector<char*> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) environment.push_back(*entry);
  environment.push_back(const_cast<char*>(variable.c_str()));
  environment.push_back(nullptr);
  char program[] = "/proc/self/exe";
  char* arguments[] = {program, nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, program, nullptr, nullptr, arguments, environment.data()), 0);
  recordAndLookUp(*cache, 0, 3000);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  (void)cache->flush().wait();
  EXPECT_TRUE(logEntries().empty());
  expectEveryEntryAndASoundFile(path, *cache, 6000);
}

}  // namespace
}  // namespace zarnik
