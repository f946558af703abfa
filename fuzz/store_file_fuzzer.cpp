// A results store is a file on disk that may be damaged or crafted. Reading every record of it
// (groups, members with their nodes and differences, the selection history, raw data) must
// never crash, whatever the bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "store/managed_object_context.h"
#include "store/raw_data_storage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zarnik;
  auto database = SqliteDatabase::openFromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  if (database.hasError()) return 0;
  auto store = std::make_shared<PersistentStore>(std::move(database).value(), ManagedObjectModel::fileModel(), false,
                                                 std::nullopt);
  auto context = ManagedObjectContext::make(store);
  if (context.hasError()) return 0;
  (void)context.value()->forEachEquivalence([](ZKEquivalence& equivalence) {
    (void)equivalence.currentSelectionStrategyID();
    for (const auto& duplicate : equivalence.duplicates) {
      if (auto node = duplicate.node()) (void)node->path();
      (void)duplicate.differences().hardlinkedGroupID();
      (void)duplicate.autoselectionModeDecision();
      (void)equivalence.isSelected(duplicate);
    }
    return true;
  });
  if (auto items = context.value()->fetchActivityLogItems(); items.hasValue()) {
    for (const auto& item : items.value()) (void)item.newlySelected();
  }
  if (auto raw = RawDataStorage::make(*context.value()); raw.hasValue()) {
    (void)raw.value()->scanRules();
    (void)raw.value()->smartSelectionRuleInfos();
    (void)raw.value()->alwaysSelectionRules();
    (void)raw.value()->URLResolver();
    (void)raw.value()->mediaLibraryNodes();
    (void)raw.value()->cleaningSessions();
  }
  return 0;
}
