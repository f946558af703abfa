#include "store/preferences_model_context.h"

#include "store/archiving.h"

#include <fmt/format.h>

namespace zarnik {
namespace {

constexpr std::string_view kSmartRuleClass = "SmartSelectionRuleInfo";

std::string_view kindName(ZKIgnoreItem::Kind kind) {
  return kind == ZKIgnoreItem::Kind::node ? "node" : "extensions";
}

std::optional<std::string> listText(const std::vector<std::string>& list) {
  if (list.empty()) return std::nullopt;
  return dumpJson(bytesListJson(list));
}

std::vector<std::string> listFromText(const std::optional<std::string>& text) {
  if (!text) return {};
  auto json = parseJson(*text);
  if (json.hasError()) return {};
  return bytesListFromJson(json.value()).value_or(std::vector<std::string>{});
}

}  // namespace

Result<std::unique_ptr<PreferencesModelContext>> PreferencesModelContext::make(
    std::shared_ptr<PersistentStore> store) {
  if (store->model().name != ManagedObjectModel::preferencesModel().name) {
    return Error::generic("The store does not hold preferences.", store->database().path());
  }
  return std::unique_ptr<PreferencesModelContext>(new PreferencesModelContext(std::move(store)));
}

Result<void> PreferencesModelContext::performTransaction(
    const std::function<Result<void>()>& work) {
  if (transactionDepth_ > 0) return work();
  ZK_TRY(store_->database().execute("BEGIN IMMEDIATE"));
  ++transactionDepth_;
  auto result = work();
  --transactionDepth_;
  if (result.hasError()) {
    (void)store_->database().execute("ROLLBACK");
    return result;
  }
  auto committed = store_->database().execute("COMMIT");
  if (committed.hasError()) (void)store_->database().execute("ROLLBACK");
  return committed;
}

Result<std::int64_t> PreferencesModelContext::nextOrder(std::string_view table) {
  ZK_ASSIGN_OR_RETURN(auto query, store_->database().prepare(fmt::format(
                                      "SELECT coalesce(max(\"order\"), -1) + 1 FROM {}", table)));
  ZK_ASSIGN_OR_RETURN(const bool row, query.step());
  return row ? query.integer(0) : 0;
}

Result<std::vector<ZKIgnoreItem>> PreferencesModelContext::fetchIgnoreItems() {
  ZK_ASSIGN_OR_RETURN(
      auto query,
      store_->database().prepare(
          "SELECT Z_PK, kind, enabled, editable, hidden, \"order\", rawMembershipMode, path, "
          "pathExtensions, forceWhitelistedPaths FROM ZKIgnoreItem ORDER BY \"order\", Z_PK"));
  std::vector<ZKIgnoreItem> items;
  for (;;) {
    ZK_ASSIGN_OR_RETURN(const bool row, query.step());
    if (!row) break;
    ZKIgnoreItem item;
    item.identifier = query.integer(0);
    item.kind =
        query.text(1) == "node" ? ZKIgnoreItem::Kind::node : ZKIgnoreItem::Kind::extensionGroup;
    item.enabled = query.integer(2) != 0;
    item.editable = query.integer(3) != 0;
    item.hidden = query.integer(4) != 0;
    item.order = query.integer(5);
    item.rawMembershipMode = query.optionalText(6).value_or("Regular");
    item.path = query.optionalText(7).value_or("");
    item.pathExtensions = listFromText(query.optionalText(8));
    item.forceWhitelistedPaths = listFromText(query.optionalText(9));
    items.push_back(std::move(item));
  }
  return items;
}

Result<ZKIgnoreItem> PreferencesModelContext::insertIgnoreItem(ZKIgnoreItem item) {
  ZK_ASSIGN_OR_RETURN(item.order, nextOrder("ZKIgnoreItem"));
  ZK_ASSIGN_OR_RETURN(auto insert,
                      store_->database().prepare(
                          "INSERT INTO ZKIgnoreItem (kind, enabled, editable, hidden, \"order\", "
                          "rawMembershipMode, path, pathExtensions, forceWhitelistedPaths) "
                          "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
  insert.bind(1, kindName(item.kind))
      .bind(2, std::int64_t{item.enabled})
      .bind(3, std::int64_t{item.editable})
      .bind(4, std::int64_t{item.hidden})
      .bind(5, item.order)
      .bind(6, item.rawMembershipMode)
      .bind(7, item.kind == ZKIgnoreItem::Kind::node ? std::optional<std::string>(item.path)
                                                     : std::nullopt)
      .bind(8, listText(item.pathExtensions))
      .bind(9, listText(item.forceWhitelistedPaths));
  ZK_TRY(insert.run());
  item.identifier = store_->database().lastInsertRowID();
  return item;
}

Result<void> PreferencesModelContext::updateIgnoreItem(const ZKIgnoreItem& item) {
  ZK_ASSIGN_OR_RETURN(
      auto update,
      store_->database().prepare(
          "UPDATE ZKIgnoreItem SET enabled = ?, editable = ?, hidden = ?, \"order\" = ?, "
          "rawMembershipMode = ?, path = ?, pathExtensions = ?, forceWhitelistedPaths = ? "
          "WHERE Z_PK = ?"));
  update.bind(1, std::int64_t{item.enabled})
      .bind(2, std::int64_t{item.editable})
      .bind(3, std::int64_t{item.hidden})
      .bind(4, item.order)
      .bind(5, item.rawMembershipMode)
      .bind(6, item.kind == ZKIgnoreItem::Kind::node ? std::optional<std::string>(item.path)
                                                     : std::nullopt)
      .bind(7, listText(item.pathExtensions))
      .bind(8, listText(item.forceWhitelistedPaths))
      .bind(9, item.identifier);
  return update.run();
}

Result<void> PreferencesModelContext::deleteIgnoreItem(std::int64_t identifier) {
  ZK_ASSIGN_OR_RETURN(auto remove,
                      store_->database().prepare("DELETE FROM ZKIgnoreItem WHERE Z_PK = ?"));
  remove.bind(1, identifier);
  return remove.run();
}

Result<std::vector<ZKSelectionRule>> PreferencesModelContext::fetchSelectionRules() {
  ZK_ASSIGN_OR_RETURN(
      auto query, store_->database().prepare("SELECT Z_PK, kind, enabled, hidden, \"order\", path "
                                             "FROM ZKSelectionRule ORDER BY \"order\", Z_PK"));
  std::vector<ZKSelectionRule> rules;
  for (;;) {
    ZK_ASSIGN_OR_RETURN(const bool row, query.step());
    if (!row) break;
    ZKSelectionRule rule;
    rule.identifier = query.integer(0);
    rule.kind =
        query.text(1) == "never" ? ZKSelectionRule::Kind::never : ZKSelectionRule::Kind::always;
    rule.enabled = query.integer(2) != 0;
    rule.hidden = query.integer(3) != 0;
    rule.order = query.integer(4);
    rule.path = query.optionalText(5).value_or("");
    rules.push_back(std::move(rule));
  }
  return rules;
}

Result<ZKSelectionRule> PreferencesModelContext::insertSelectionRule(ZKSelectionRule rule) {
  ZK_ASSIGN_OR_RETURN(rule.order, nextOrder("ZKSelectionRule"));
  ZK_ASSIGN_OR_RETURN(
      auto insert, store_->database().prepare("INSERT INTO ZKSelectionRule (kind, enabled, hidden, "
                                              "\"order\", path) VALUES (?, ?, ?, ?, ?)"));
  insert.bind(1, identifier(rule.kind))
      .bind(2, std::int64_t{rule.enabled})
      .bind(3, std::int64_t{rule.hidden})
      .bind(4, rule.order)
      .bind(5, rule.path);
  ZK_TRY(insert.run());
  rule.identifier = store_->database().lastInsertRowID();
  return rule;
}

Result<void> PreferencesModelContext::deleteSelectionRule(std::int64_t identifier) {
  ZK_ASSIGN_OR_RETURN(auto remove,
                      store_->database().prepare("DELETE FROM ZKSelectionRule WHERE Z_PK = ?"));
  remove.bind(1, identifier);
  return remove.run();
}

Result<std::vector<ZKSmartSelectionRule>> PreferencesModelContext::fetchSmartSelectionRules() {
  ZK_ASSIGN_OR_RETURN(
      auto query, store_->database().prepare("SELECT Z_PK, isEnabled, \"order\", privateData FROM "
                                             "ZKSmartSelectionRule ORDER BY \"order\", Z_PK"));
  std::vector<ZKSmartSelectionRule> rules;
  for (;;) {
    ZK_ASSIGN_OR_RETURN(const bool row, query.step());
    if (!row) break;
    // A record this version cannot read is left out, as the lists of raw data do.
    auto value = unarchivedValue(query.text(3), kSmartRuleClass);
    auto info = value ? SmartSelectionRuleInfo::decode(*value) : std::nullopt;
    if (!info) continue;
    ZKSmartSelectionRule rule;
    rule.identifier = query.integer(0);
    rule.order = query.integer(2);
    rule.ruleInfo = std::move(*info);
    rule.ruleInfo.isEnabled = query.integer(1) != 0;
    rules.push_back(std::move(rule));
  }
  return rules;
}

Result<ZKSmartSelectionRule> PreferencesModelContext::insertSmartSelectionRule(
    ZKSmartSelectionRule rule) {
  ZK_ASSIGN_OR_RETURN(rule.order, nextOrder("ZKSmartSelectionRule"));
  ZK_ASSIGN_OR_RETURN(auto insert, store_->database().prepare(
                                       "INSERT INTO ZKSmartSelectionRule (isEnabled, \"order\", "
                                       "privateData) VALUES (?, ?, ?)"));
  insert.bind(1, std::int64_t{rule.ruleInfo.isEnabled})
      .bind(2, rule.order)
      .bindBlob(3, archivedText(kSmartRuleClass, rule.ruleInfo.encode()));
  ZK_TRY(insert.run());
  rule.identifier = store_->database().lastInsertRowID();
  return rule;
}

Result<void> PreferencesModelContext::updateSmartSelectionRule(const ZKSmartSelectionRule& rule) {
  ZK_ASSIGN_OR_RETURN(auto update,
                      store_->database().prepare("UPDATE ZKSmartSelectionRule SET isEnabled = ?, "
                                                 "privateData = ? WHERE Z_PK = ?"));
  update.bind(1, std::int64_t{rule.ruleInfo.isEnabled})
      .bindBlob(2, archivedText(kSmartRuleClass, rule.ruleInfo.encode()))
      .bind(3, rule.identifier);
  return update.run();
}

Result<void> PreferencesModelContext::deleteSmartSelectionRule(std::int64_t identifier) {
  ZK_ASSIGN_OR_RETURN(
      auto remove, store_->database().prepare("DELETE FROM ZKSmartSelectionRule WHERE Z_PK = ?"));
  remove.bind(1, identifier);
  return remove.run();
}

}  // namespace zarnik
