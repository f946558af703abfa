// The archived records of stores and of the session's state file, read from text that may be
// damaged: class-tagged archives, references to stored locations, a member's differences and
// decision, the session's status and locations. Reading must never crash, and whatever is read
// must write out and read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "detection/duplicates_detection_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zarnik;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static const OVURLResolver resolver("/home/fuzz");
  static const auto location = ScanLocation::make(std::optional<std::string>("/home/fuzz/a"), std::nullopt, "~/a/");
  static const ArchiveSubstitutions substitutions({location}, {});
  if (auto node = substitutions.unarchivedNode(text); node.hasValue()) (void)substitutions.archivedNode(*node.value());

  ZKDuplicate duplicate;
  duplicate.differencesData = std::string(text);
  const auto differences = duplicate.differences();
  const auto decision = duplicate.autoselectionModeDecision();
  ZKDuplicate again;
  again.setDifferences(differences, decision);
  if (again.differences().flags != differences.flags || again.differences().hardlinkedGroupID() != differences.hardlinkedGroupID() ||
      again.autoselectionModeDecision().has_value() != decision.has_value()) {
    std::abort();
  }

  auto json = parseJson(text);
  if (json.hasError()) return 0;
  if (auto state = DuplicatesDetectionResultsState::decode(json.value())) {
    if (DuplicatesDetectionResultsState::decode(state->encode()) != state) std::abort();
  }
  const auto status = decodeStatus(json.value());
  if (encodeStatus(decodeStatus(encodeStatus(status))) != encodeStatus(status)) std::abort();
  if (auto model = ScanLocationViewModel::decode(json.value()); model.hasValue()) {
    auto back = ScanLocationViewModel::decode(model.value().encode());
    if (back.hasError() || back.value().encode() != model.value().encode()) std::abort();
  }
  (void)substitutions.resolve(json.value());
  return 0;
}
