// The lists of the preferences controller: the ignore list and the selection rules kept in the
// preferences store, and the name patterns of the ignore list kept with the scan rules.
#include "base/path_components.h"
#include "foundation/regular_expression.h"
#include "platform/file_reading.h"
#include "platform/file_state.h"
#include "preferences/preferences_controller.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace zarnik {
namespace {

constexpr std::string_view kRegularMode = "Regular";

// Abbreviated paths of one item, whether or not one of them was taken for a folder ("~/a/", "~/a").
bool samePath(std::string_view a, std::string_view b) {
  const auto trimmed = [](std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
  };
  return trimmed(a) == trimmed(b);
}

}  // namespace

std::string normalizedExtension(const std::string& pathOrExtension) {
  std::string extension = pathOrExtension.find('/') != std::string::npos
                              ? lowercasedPathExtension(pathOrExtension)
                              : pathOrExtension;
  while (!extension.empty() && extension.front() == '.') extension.erase(0, 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return extension;
}

std::string PreferencesController::abbreviatedListPath(const std::string& path) const {
  if (path.empty()) return {};
  std::string absolute = path;
  if (auto resolved = resolvedPath(path); resolved.hasValue()) {
    absolute = std::move(resolved).value();
  } else if (path.front() != '/' && path.front() != '~') {
    std::error_code failed;
    const auto made = std::filesystem::absolute(path, failed);
    if (!failed) absolute = made.string();
  }
  if (absolute.front() == '~')
    absolute = resolver_.expandedPathForPath(absolute).value_or(absolute);
  const bool isDirectory = path.back() == '/' || isFolder(absolute);
  return resolver_.abbreviatedPathForURL(absolute, isDirectory)
      .value_or(resolver_.abbreviatedPath(absolute, isDirectory));
}

bool PreferencesController::canAddNodeToIgnoreList(const std::string& path) const {
  const std::string abbreviated = abbreviatedListPath(path);
  if (abbreviated.empty()) return false;
  return std::none_of(
      lists_.ignoreItems.begin(), lists_.ignoreItems.end(), [&](const ZKIgnoreItem& item) {
        return item.kind == ZKIgnoreItem::Kind::node && samePath(item.path, abbreviated);
      });
}

Result<void> PreferencesController::addNodesToIgnoreList(const std::vector<std::string>& paths) {
  ZK_TRY(context_->performTransaction([&]() -> Result<void> {
    for (const auto& path : paths) {
      ZK_TRY(reloadLists());
      if (!canAddNodeToIgnoreList(path)) continue;
      ZKIgnoreItem item;
      item.path = abbreviatedListPath(path);
      ZK_TRY(context_->insertIgnoreItem(item));
    }
    return success();
  }));
  return reloadLists();
}

bool PreferencesController::canRemoveNodeFromIgnoreList(const std::string& path) const {
  const std::string abbreviated = abbreviatedListPath(path);
  return std::any_of(lists_.ignoreItems.begin(), lists_.ignoreItems.end(),
                     [&](const ZKIgnoreItem& item) {
                       return item.kind == ZKIgnoreItem::Kind::node && item.editable &&
                              samePath(item.path, abbreviated);
                     });
}

Result<void> PreferencesController::removeNodesFromIgnoreList(
    const std::vector<std::string>& paths) {
  ZK_TRY(context_->performTransaction([&]() -> Result<void> {
    for (const auto& path : paths) {
      const std::string abbreviated = abbreviatedListPath(path);
      for (const auto& item : lists_.ignoreItems) {
        if (item.kind == ZKIgnoreItem::Kind::node && item.editable &&
            samePath(item.path, abbreviated)) {
          ZK_TRY(context_->deleteIgnoreItem(item.identifier));
        }
      }
    }
    return success();
  }));
  return reloadLists();
}

bool PreferencesController::canAddExtensionToIgnoreList(const std::string& pathOrExtension) const {
  const std::string extension = normalizedExtension(pathOrExtension);
  if (extension.empty()) return false;
  return std::none_of(
      lists_.ignoreItems.begin(), lists_.ignoreItems.end(), [&](const ZKIgnoreItem& item) {
        return item.kind == ZKIgnoreItem::Kind::extensionGroup &&
               std::find(item.pathExtensions.begin(), item.pathExtensions.end(), extension) !=
                   item.pathExtensions.end();
      });
}

Result<void> PreferencesController::addExtensionToIgnoreList(const std::string& pathOrExtension) {
  if (!canAddExtensionToIgnoreList(pathOrExtension)) return success();
  const std::string extension = normalizedExtension(pathOrExtension);
  // The user's own extensions go into the first group the user may edit.
  for (auto item : lists_.ignoreItems) {
    if (item.kind != ZKIgnoreItem::Kind::extensionGroup || !item.editable) continue;
    item.pathExtensions.push_back(extension);
    ZK_TRY(context_->updateIgnoreItem(item));
    return reloadLists();
  }
  ZKIgnoreItem group;
  group.kind = ZKIgnoreItem::Kind::extensionGroup;
  group.pathExtensions = {extension};
  ZK_TRY(context_->insertIgnoreItem(group));
  return reloadLists();
}

Result<void> PreferencesController::removeExtensionFromIgnoreList(
    const std::string& pathOrExtension) {
  const std::string extension = normalizedExtension(pathOrExtension);
  ZK_TRY(context_->performTransaction([&]() -> Result<void> {
    for (auto item : lists_.ignoreItems) {
      if (item.kind != ZKIgnoreItem::Kind::extensionGroup || !item.editable) continue;
      auto& list = item.pathExtensions;
      const auto end = std::remove(list.begin(), list.end(), extension);
      if (end == list.end()) continue;
      list.erase(end, list.end());
      ZK_TRY(list.empty() ? context_->deleteIgnoreItem(item.identifier)
                          : context_->updateIgnoreItem(item));
    }
    return success();
  }));
  return reloadLists();
}

Result<void> PreferencesController::addNameExpressionToIgnoreList(const std::string& expression) {
  auto compiled = RegularExpression::compile(expression);
  if (compiled.hasError()) {
    return Error::generic(
        fmt::format("{}: not a regular expression: {}", expression, compiled.error().description));
  }
  return change([expression](PreferencesStorage& storage) -> Result<void> {
    auto expressions = storage.scanRules()->nodeNameRegExpByMembershipMode();
    auto& list = expressions[std::string(kRegularMode)];
    if (std::find(list.begin(), list.end(), expression) == list.end()) list.push_back(expression);
    storage.scanRules()->setNodeNameRegExpByMembershipMode(expressions);
    return success();
  });
}

Result<void> PreferencesController::removeNameExpressionFromIgnoreList(
    const std::string& expression) {
  return change([expression](PreferencesStorage& storage) -> Result<void> {
    auto expressions = storage.scanRules()->nodeNameRegExpByMembershipMode();
    auto& list = expressions[std::string(kRegularMode)];
    list.erase(std::remove(list.begin(), list.end(), expression), list.end());
    if (list.empty()) expressions.erase(std::string(kRegularMode));
    storage.scanRules()->setNodeNameRegExpByMembershipMode(expressions);
    return success();
  });
}

Result<void> PreferencesController::alwaysSelectLocation(const std::string& path) {
  ZK_TRY(removeSelectionRule(ZKSelectionRule::Kind::never, path));
  const std::string abbreviated = abbreviatedListPath(path);
  for (const auto& rule : lists_.selectionRules) {
    if (rule.kind == ZKSelectionRule::Kind::always && samePath(rule.path, abbreviated))
      return success();
  }
  ZKSelectionRule rule;
  rule.kind = ZKSelectionRule::Kind::always;
  rule.path = abbreviated;
  ZK_TRY(context_->insertSelectionRule(rule));
  return reloadLists();
}

Result<void> PreferencesController::neverSelectLocation(const std::string& path) {
  ZK_TRY(removeSelectionRule(ZKSelectionRule::Kind::always, path));
  const std::string abbreviated = abbreviatedListPath(path);
  for (const auto& rule : lists_.selectionRules) {
    if (rule.kind == ZKSelectionRule::Kind::never && samePath(rule.path, abbreviated))
      return success();
  }
  ZKSelectionRule rule;
  rule.kind = ZKSelectionRule::Kind::never;
  rule.path = abbreviated;
  ZK_TRY(context_->insertSelectionRule(rule));
  return reloadLists();
}

Result<bool> PreferencesController::removeSelectionRule(ZKSelectionRule::Kind kind,
                                                        const std::string& path) {
  const std::string abbreviated = abbreviatedListPath(path);
  bool removed = false;
  for (const auto& rule : lists_.selectionRules) {
    if (rule.kind != kind || !samePath(rule.path, abbreviated)) continue;
    ZK_TRY(context_->deleteSelectionRule(rule.identifier));
    removed = true;
  }
  ZK_TRY(reloadLists());
  return removed;
}

Result<void> PreferencesController::addSmartSelectionRuleInfo(const SmartSelectionRuleInfo& info) {
  for (const auto& stored : lists_.smartSelectionRules) {
    if (!(stored.ruleInfo.rule == info.rule)) continue;
    if (stored.ruleInfo.isEnabled == info.isEnabled) return success();
    ZKSmartSelectionRule turned = stored;
    turned.ruleInfo.isEnabled = info.isEnabled;
    ZK_TRY(context_->updateSmartSelectionRule(turned));
    return reloadLists();
  }
  ZKSmartSelectionRule rule;
  rule.ruleInfo = info;
  ZK_TRY(context_->insertSmartSelectionRule(rule));
  return reloadLists();
}

Result<bool> PreferencesController::removeSmartSelectionRule(const SmartSelectionRule& rule) {
  bool removed = false;
  for (const auto& stored : lists_.smartSelectionRules) {
    if (!(stored.ruleInfo.rule == rule)) continue;
    ZK_TRY(context_->deleteSmartSelectionRule(stored.identifier));
    removed = true;
  }
  ZK_TRY(reloadLists());
  return removed;
}

Result<void> PreferencesController::replaceEditableIgnoreItems(
    ZKIgnoreItem::Kind kind, const std::vector<ZKIgnoreItem>& items) {
  ZK_TRY(context_->performTransaction([&]() -> Result<void> {
    for (const auto& item : lists_.ignoreItems) {
      if (item.kind == kind && item.editable) ZK_TRY(context_->deleteIgnoreItem(item.identifier));
    }
    for (auto item : items) {
      item.kind = kind;
      ZK_TRY(context_->insertIgnoreItem(item));
    }
    return success();
  }));
  return reloadLists();
}

Result<void> PreferencesController::restoreDefaultSelectionRules() {
  ZK_TRY(context_->performTransaction([&]() -> Result<void> {
    for (const auto& rule : lists_.selectionRules)
      ZK_TRY(context_->deleteSelectionRule(rule.identifier));
    for (const auto& rule : lists_.smartSelectionRules)
      ZK_TRY(context_->deleteSmartSelectionRule(rule.identifier));
    return fillListsFromDefaults(false, true);
  }));
  return reloadLists();
}

Result<void> PreferencesController::restoreDefaultIgnoreItems() {
  ZK_TRY(context_->performTransaction([&]() -> Result<void> {
    for (const auto& item : lists_.ignoreItems) ZK_TRY(context_->deleteIgnoreItem(item.identifier));
    return fillListsFromDefaults(true, false);
  }));
  return reloadLists();
}

Json PreferencesController::buildDefaultValuesInfo() const {
  DefaultValuesInfo info;
  info.preferenceValues = storage_->exportJSON();
  for (const auto& item : lists_.ignoreItems) {
    (item.kind == ZKIgnoreItem::Kind::node ? info.ignoredNodes : info.ignoredExtensions)
        .push_back(item);
  }
  for (const auto& rule : lists_.selectionRules) {
    (rule.kind == ZKSelectionRule::Kind::always ? info.alwaysSelectionRules
                                                : info.neverSelectionRules)
        .push_back(rule);
  }
  info.smartSelectionRules = lists_.smartSelectionRules;
  return info.json();
}

}  // namespace zarnik
