// Stored nodes come back from stores that may be damaged. Decoding must never crash and a
// decoded node must encode and decode to the same archive.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "file_model/base_node.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto json = zarnik::parseJson(std::string_view(reinterpret_cast<const char*>(data), size));
  if (json.hasError()) return 0;
  auto node = zarnik::ZKBaseNode::decode(json.value());
  if (node.hasError()) return 0;
  const zarnik::Json archive = node.value()->encode();
  auto again = zarnik::ZKBaseNode::decode(archive);
  if (again.hasError() || again.value()->encode() != archive) std::abort();
  return 0;
}
