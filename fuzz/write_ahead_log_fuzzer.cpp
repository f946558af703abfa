// A store's write-ahead log as it may be found after a crash or a damaged disk: the check must
// read any bytes without crashing and give one of its answers, the same every time.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/write_ahead_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/zarnik-wal-fuzz-" + std::to_string(::getpid()) + "-wal";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const auto first = zarnik::checkWriteAheadLog(path);
  const auto second = zarnik::checkWriteAheadLog(path);
  if (first.hasValue() != second.hasValue() || (first.hasValue() && first.value() != second.value())) std::abort();
  return 0;
}
