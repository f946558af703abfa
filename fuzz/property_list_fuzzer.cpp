// Property lists come from application bundles and library files on disk: any bytes.
// Parsing must never crash, and what it yields must survive a JSON round trip unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/bundle_reader.h"
#include "platform/property_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto parsed = zarnik::parsePropertyList(bytes, "fuzz");
  if (parsed.hasError()) return 0;
  (void)zarnik::bundlePropertyListFromJson(parsed.value(), "fuzz");
  const std::string text = zarnik::dumpJson(parsed.value());
  auto again = zarnik::parseJson(text);
  if (again.hasError() || again.value() != parsed.value()) std::abort();
  return 0;
}
