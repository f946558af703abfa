// What fuzzers of files with a valid form share: a folder for their files, and inputs that are
// either a whole file or damage done to a valid one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdlib.h>
#include <string>

namespace zarnik::fuzzing {

// A folder made at start-up and removed at exit, in memory where there is a memory file
// system: on disk, every close that syncs costs 50 ms a run.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name) {
    std::string inMemory = "/dev/shm/zarnik-" + name + "-fuzz-XXXXXX";
    std::string onDisk = "/tmp/zarnik-" + name + "-fuzz-XXXXXX";
    const char* folder = mkdtemp(inMemory.data());
    if (folder == nullptr) folder = mkdtemp(onDisk.data());
    folder_ = folder != nullptr ? folder : "";
  }
  ~ScratchFolder() {
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  [[nodiscard]] std::string pathOf(const std::string& name) const {
    return (folder_.empty() ? std::string("/tmp") : folder_) + "/" + name;
  }

 private:
  std::string folder_;
};

inline std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An input whose first byte is even is the whole file. One whose first byte is odd damages
// `valid`: each 4 bytes that follow set the byte at a 3-byte offset, so that the fuzzer reaches
// what lies behind a valid header.
inline std::string fileForInput(const std::string& valid, const std::uint8_t* data, size_t size) {
  if (size == 0 || data[0] % 2 == 0) return std::string(reinterpret_cast<const char*>(data), size);
  std::string file = valid;
  if (file.empty()) return file;
  for (size_t at = 1; at + 4 <= size; at += 4) {
    const size_t offset = (data[at] | data[at + 1] << 8 | data[at + 2] << 16) % file.size();
    file[offset] = static_cast<char>(data[at + 3]);
  }
  return file;
}

}  // namespace zarnik::fuzzing
