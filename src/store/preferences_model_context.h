// PreferencesModelContext: reads and writes the records of one "PreferencesModel" store (the
// ignore list, the always- and never-select folders and the smart selection rules). Each list is
// kept in its `order`; a change of several records runs in one transaction.
//
// A context is confined to one queue at a time (its owner serialises every use).
#pragma once

#include "base/result.h"
#include "store/persistent_store.h"
#include "store/preferences_model_entities.h"

#include <functional>
#include <memory>
#include <vector>

namespace zarnik {

class PreferencesModelContext {
 public:
  // Fails for a store of another model.
  static Result<std::unique_ptr<PreferencesModelContext>> make(
      std::shared_ptr<PersistentStore> store);

  [[nodiscard]] PersistentStore& store() { return *store_; }
  Result<void> performTransaction(const std::function<Result<void>()>& work);

  Result<std::vector<ZKIgnoreItem>> fetchIgnoreItems();
  // Appended at the end of the list; the stored item with its identifier and order.
  Result<ZKIgnoreItem> insertIgnoreItem(ZKIgnoreItem item);
  Result<void> updateIgnoreItem(const ZKIgnoreItem& item);
  Result<void> deleteIgnoreItem(std::int64_t identifier);

  Result<std::vector<ZKSelectionRule>> fetchSelectionRules();
  Result<ZKSelectionRule> insertSelectionRule(ZKSelectionRule rule);
  Result<void> deleteSelectionRule(std::int64_t identifier);

  Result<std::vector<ZKSmartSelectionRule>> fetchSmartSelectionRules();
  Result<ZKSmartSelectionRule> insertSmartSelectionRule(ZKSmartSelectionRule rule);
  Result<void> deleteSmartSelectionRule(std::int64_t identifier);
  // Turns the stored rule on or off where it stands in the list.
  Result<void> updateSmartSelectionRule(const ZKSmartSelectionRule& rule);

 private:
  explicit PreferencesModelContext(std::shared_ptr<PersistentStore> store)
      : store_(std::move(store)) {}
  Result<std::int64_t> nextOrder(std::string_view table);

  std::shared_ptr<PersistentStore> store_;
  int transactionDepth_ = 0;
};

}  // namespace zarnik
