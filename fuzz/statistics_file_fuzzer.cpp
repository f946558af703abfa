// The statistics file is read at every start and may be damaged in any way. Reading must never
// crash or hang; statistics it accepts must be written and read back unchanged.
#include "platform/property_list.h"
#include "statistics/statistician_store.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto document = zarnik::parsePropertyList(bytes, "statistics.plist");
  if (document.hasError()) return 0;
  auto store = zarnik::StatisticianStore::fromPropertyList(document.value());
  if (store.hasError()) return 0;
  (void)store.value().foundSize();
  auto written = zarnik::parsePropertyList(store.value().propertyListText(), "written");
  if (written.hasError()) std::abort();
  auto again = zarnik::StatisticianStore::fromPropertyList(written.value());
  if (again.hasError() || !(again.value() == store.value())) std::abort();
  return 0;
}
