// The digest cache is a file on disk that may be damaged or replaced by anything. Opening it,
// looking entries up and writing to it must never crash, whatever its bytes.
//
// An input whose first byte is even is the whole file. One whose first byte is odd damages a
// real cache made at start-up: each 4 bytes that follow set the byte at a 3-byte offset, so that
// the fuzzer reaches the pages and records behind a valid header.
#include "matching/digest_cache.h"
#include "platform/sqlite_database.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdlib.h>
#include <string>
#include <unistd.h>
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
  std::string path;
  std::string validFile;

  Setting() {
    silent.setFilePath("");
    // In memory where there is a memory file system: on disk, every close syncs (50 ms a run).
    char inMemory[] = "/dev/shm/zarnik-digest-cache-fuzz-XXXXXX";
    char onDisk[] = "/tmp/zarnik-digest-cache-fuzz-XXXXXX";
    const char* folder = mkdtemp(inMemory);
    if (folder == nullptr) folder = mkdtemp(onDisk);
    folder_ = folder != nullptr ? folder : "";
    path = (folder != nullptr ? folder_ : std::string("/tmp")) + "/digests.db";
    {
      auto cache = DigestCache::open(options());
      if (cache.hasValue()) {
        for (std::uint64_t inode = 0; inode < kEntries; ++inode)
          cache.value()->record(keyOf(inode), valuesOf(inode));
      }
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    validFile = bytes.str();
  }

  ~Setting() {
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

  DigestCacheOptions options() {
    DigestCacheOptions options;
    options.path = path;
    options.logger = &silent;
    options.maximumEntries = kEntries;  // writes below prune too
    options.busyTimeout = std::chrono::milliseconds(10);
    return options;
  }

 private:
  std::string folder_;
};

std::string fileFor(const Setting& setting, const uint8_t* data, size_t size) {
  if (size == 0 || data[0] % 2 == 0) return std::string(reinterpret_cast<const char*>(data), size);
  std::string file = setting.validFile;
  if (file.empty()) return file;
  for (size_t at = 1; at + 4 <= size; at += 4) {
    const size_t offset = (data[at] | data[at + 1] << 8 | data[at + 2] << 16) % file.size();
    file[offset] = static_cast<char>(data[at + 3]);
  }
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setting setting;
  (void)SqliteDatabase::removeFiles(setting.path);
  std::ofstream(setting.path, std::ios::binary) << fileFor(setting, data, size);
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
