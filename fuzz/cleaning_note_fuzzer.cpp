// A copy's cleaning record as stored, read from text that may be damaged: whatever is read must
// write out and read back the same, paths, digests, identities and metadata included, since the
// next run settles a cut-off cleaning and reverts from exactly these facts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "cleaning/cleaning_note.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zarnik;
  auto json = parseJson(std::string_view(reinterpret_cast<const char*>(data), size));
  if (json.hasError()) return 0;
  const auto note = CleaningNote::decode(json.value());
  if (!note) return 0;
  const Json written = note->encode();
  const auto again = CleaningNote::decode(written);
  if (!again || dumpJson(again->encode()) != dumpJson(written)) std::abort();
  return 0;
}
