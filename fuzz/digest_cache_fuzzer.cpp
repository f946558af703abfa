// The digest cache is a file on disk that may be damaged or replaced by anything. Opening it,
// looking entries up and writing to it must never crash, whatever its bytes.
//
// Inputs are a whole file or damage to a real cache made at start-up (damaged_files.h), so that
// the fuzzer reaches the pages and records behind a valid header.
#include "damaged_files.h"

#include "matching/digest_cache.h"
#include "platform/sqlite_database.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace zarnik;

constexpr std::uint64_t kEntries = 64;

DigestCacheKey keyOf(std::uint64_t inode) {
  return DigestCacheKey{FileId{2049, inode}, static_cast<ByteCount>(inode * 1000),
                        Date(std::chrono::nanoseconds(inode * 7)),
                        Date(std::chrono::nanoseconds(inode * 11))};
}

DigestCacheValues valuesOf(std::uint64_t inode) {
  DigestCacheValues values;
  values.contentPrefixHash = inode;
  values.sampledDigest =
      ExactFileHash{{static_cast<std::uint8_t>(inode)}, static_cast<ByteCount>(inode * 1000)};
  if (inode % 3 == 0) values.audioDigest = ExactFileHash{{7}, static_cast<ByteCount>(inode)};
  if (inode % 4 == 0) {
    ImageInfo info;
    info.size = ImageSize{640, 480};
    info.softwareName = "camera";
    values.picture = std::make_shared<CachedPictureFacts>(
        CachedPictureFacts{ImageFacts{info, {1, 2, 3, 4}}, true});
  }
  return values;
}

struct Setting {
  Logger silent;
  fuzzing::ScratchFolder folder{"digest-cache"};
  std::string path = folder.pathOf("digests.db");
  std::string validFile;

  Setting() {
    silent.setFilePath("");
    {
      auto cache = DigestCache::open(options());
      if (cache.hasValue()) {
        for (std::uint64_t inode = 0; inode < kEntries; ++inode)
          cache.value()->record(keyOf(inode), valuesOf(inode));
      }
    }
    validFile = fuzzing::contentsOf(path);
  }

  DigestCacheOptions options() {
    DigestCacheOptions options;
    options.path = path;
    options.logger = &silent;
    options.maximumEntries = kEntries;  // writes below prune too
    options.busyTimeout = std::chrono::milliseconds(10);
    return options;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setting setting;
  (void)SqliteDatabase::removeFiles(setting.path);
  std::ofstream(setting.path, std::ios::binary)
      << fuzzing::fileForInput(setting.validFile, data, size);
  auto cache = DigestCache::open(setting.options());
  if (cache.hasError()) return 0;
  std::vector<DigestCacheKey> keys;
  for (std::uint64_t inode = 0; inode < 16; ++inode) keys.push_back(keyOf(inode * 4));
  (void)cache.value()->lookupMany(keys);
  for (std::uint64_t inode = kEntries; inode < kEntries + 8; ++inode)
    cache.value()->record(keyOf(inode), valuesOf(inode));
  (void)cache.value()->flush().wait();
  (void)cache.value()->lookup(keyOf(kEntries));
  return 0;
}
