// The table of small files' digests is a file on disk that may be damaged or replaced by
// anything. Loading it, looking files up, recording and saving must never crash, and a table
// it accepts must hold records in order.
//
// An input whose first byte is even is the whole file. One whose first byte is odd damages a
// valid table made at start-up: each 4 bytes that follow set the byte at a 3-byte offset, so
// that the fuzzer reaches the records behind a valid header (and then mostly its checksum).
#include "matching/small_file_digest_table.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdlib.h>
#include <string>
#include <tuple>

namespace {

using namespace zarnik;

constexpr std::uint64_t kEntries = 64;

DigestCacheKey keyOf(std::uint64_t inode) {
  return DigestCacheKey{FileId{2049, inode}, static_cast<ByteCount>(inode * 100 + 1),
                        Date(std::chrono::nanoseconds(inode * 7)),
                        Date(std::chrono::nanoseconds(inode * 11))};
}

SmallFileDigestTable::Known knownOf(std::uint64_t inode) {
  return {inode, ExactFileHash{{static_cast<std::uint8_t>(inode)}, keyOf(inode).size}};
}

struct Setting {
  Logger silent;
  std::string path;
  std::string validFile;

  Setting() {
    silent.setFilePath("");
    char inMemory[] = "/dev/shm/zarnik-small-digests-fuzz-XXXXXX";
    char onDisk[] = "/tmp/zarnik-small-digests-fuzz-XXXXXX";
    const char* folder = mkdtemp(inMemory);
    if (folder == nullptr) folder = mkdtemp(onDisk);
    folder_ = folder != nullptr ? folder : "";
    path = (folder != nullptr ? folder_ : std::string("/tmp")) + "/small-file-digests";
    auto table = SmallFileDigestTable::load(path, 20'000, silent);
    for (std::uint64_t inode = 0; inode < kEntries; ++inode)
      table->record(keyOf(inode), knownOf(inode));
    (void)table->save(kEntries * 2);
    std::ifstream in(path, std::ios::binary);
    validFile.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  ~Setting() {
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
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
  const std::string file = fileFor(setting, data, size);
  if (auto records = SmallFileDigestTable::decode(file); records.hasValue()) {
    for (size_t i = 1; i < records.value().size(); ++i) {
      const auto& a = records.value()[i - 1];
      const auto& b = records.value()[i];
      if (std::tie(a.device, a.inode) >= std::tie(b.device, b.inode)) abort();
    }
  }
  std::ofstream(setting.path, std::ios::binary | std::ios::trunc) << file;
  auto table = SmallFileDigestTable::load(setting.path, 20'001, setting.silent);
  for (std::uint64_t inode = 0; inode < 16; ++inode) (void)table->find(keyOf(inode * 4));
  for (std::uint64_t inode = kEntries; inode < kEntries + 8; ++inode)
    table->record(keyOf(inode), knownOf(inode));
  (void)table->save(kEntries);
  (void)table->find(keyOf(kEntries));
  return 0;
}
