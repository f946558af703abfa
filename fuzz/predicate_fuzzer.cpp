// Predicates come from resources that a packager or a user may edit. Parsing must never crash,
// hang or recurse without bound; an accepted predicate evaluates without failing, and its canonical
// text parses to the same predicate.
#include "statistics/predicate.h"
#include "statistics/statistician_store.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto predicate = zarnik::Predicate::parse(text, &zarnik::StatisticianStore::counterKind);
  if (predicate.hasError()) return 0;
  zarnik::StatisticianStore statistics;
  statistics.setNumber("cleanedSize", static_cast<std::int64_t>(size) * 1000);
  statistics.setTruth("searchUsed", size % 2 == 0);
  const zarnik::CounterReader reader = [&statistics](std::string_view name) {
    return statistics.value(name);
  };
  const bool holds = predicate.value().evaluate(reader);
  const std::string canonical = predicate.value().canonicalText();
  auto again = zarnik::Predicate::parse(canonical, &zarnik::StatisticianStore::counterKind);
  // The canonical text brackets every operation: deep predicates may exceed the nesting bound.
  if (again.hasError()) {
    if (again.error().description.find("nested too deeply") == std::string::npos &&
        again.error().description.find("too long") == std::string::npos) {
      std::abort();
    }
    return 0;
  }
  if (again.value().canonicalText() != canonical || again.value().evaluate(reader) != holds)
    std::abort();
  return 0;
}
