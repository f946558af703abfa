// The table of small files' digests is a file on disk that may be damaged or replaced by
// anything. Loading it, looking files up, recording and saving must never crash, and a table
// it accepts must hold records in order.
//
// Inputs are a whole file or damage to a valid table made at start-up (damaged_files.h), so
// that the fuzzer reaches the records behind a valid header (and then mostly its checksum).
#include "damaged_files.h"

#include "matching/small_file_digest_table.h"

#include <cstddef>
#include <cstdint>
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
  fuzzing::ScratchFolder folder{"small-digests"};
  std::string path = folder.pathOf("small-file-digests");
  std::string validFile;

  Setting() {
    silent.setFilePath("");
    auto table = SmallFileDigestTable::load(
        path, [] { return std::int64_t{20'000}; }, silent);
    for (std::uint64_t inode = 0; inode < kEntries; ++inode)
      table->record(keyOf(inode), knownOf(inode));
    (void)table->save(kEntries * 2, std::chrono::milliseconds(0));
    validFile = fuzzing::contentsOf(path);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setting setting;
  const std::string file = fuzzing::fileForInput(setting.validFile, data, size);
  if (auto records = SmallFileDigestTable::decode(file); records.hasValue()) {
    for (size_t i = 1; i < records.value().size(); ++i) {
      const auto& a = records.value()[i - 1];
      const auto& b = records.value()[i];
      if (std::tie(a.device, a.inode) >= std::tie(b.device, b.inode)) abort();
    }
  }
  std::ofstream(setting.path, std::ios::binary | std::ios::trunc) << file;
  auto table = SmallFileDigestTable::load(
      setting.path, [] { return std::int64_t{20'001}; }, setting.silent);
  for (std::uint64_t inode = 0; inode < 16; ++inode) (void)table->find(keyOf(inode * 4));
  for (std::uint64_t inode = kEntries; inode < kEntries + 8; ++inode)
    table->record(keyOf(inode), knownOf(inode));
  (void)table->save(kEntries, std::chrono::milliseconds(0));
  (void)table->find(keyOf(kEntries));
  return 0;
}
