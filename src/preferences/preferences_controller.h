// PreferencesController: the settings (settings.json), the five lists of the preferences store
// (preferences.db) and the extended preferences built from both.
//
// Every change of the settings takes the settings lock, reads the file again, applies the change
// and writes the file (through a temporary file, synced, renamed), so that two processes changing
// settings at once lose no change. While storing is suppressed (nested suppressions count), changes
// apply in memory and are replayed on the file, under one lock, when the last suppression ends.
//
// A settings file that cannot be read in whole or in part is moved aside
// ("settings.json.damaged-<time>"), the readable keys keep their values, the others their
// defaults, and a one-line notice says where the file went; the file is written afresh, so the
// notice is given once.
//
// Change notifications: `observe` delivers the new value of one key ("scanRules.exactMatchEnabled",
// or a sub-storage name for any change inside it) on the executor the observer gives.
//
// Threading: a controller is used from one queue at a time; observers run on their executors.
#pragma once

#include "base/result.h"
#include "foundation/executor.h"
#include "foundation/notification_dispatcher.h"
#include "foundation/url_resolver.h"
#include "preferences/default_values_info.h"
#include "preferences/extended_preferences.h"
#include "preferences/preferences_storage.h"
#include "store/preferences_model_context.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zarnik {

struct PreferencesLocations {
  std::string settingsFile;
  std::optional<std::string> storeFile;          // nothing: a store in memory
  std::optional<std::string> defaultValuesFile;  // nothing: the built-in values, empty lists

  // $XDG_CONFIG_HOME/zarnik/settings.json, $XDG_DATA_HOME/zarnik/preferences.db and the
  // default-values description shipped with the program.
  static PreferencesLocations standard();
};

class PreferencesController {
 public:
  static Result<std::unique_ptr<PreferencesController>> open(
      PreferencesLocations locations, const OVURLResolver& resolver = OVURLResolver::shared());
  ~PreferencesController();

  [[nodiscard]] const PreferencesStorage& storage() const { return *storage_; }
  // The values a user starts with: the built-in ones with the default-values description over them.
  [[nodiscard]] const PreferencesStorage& defaults() const { return *defaults_; }
  // Lines to show the user once: a damaged settings file set aside, a store moved aside.
  [[nodiscard]] const std::vector<std::string>& notices() const { return notices_; }
  // The notices not taken yet, each given out once.
  [[nodiscard]] std::vector<std::string> takeNotices() { return std::exchange(notices_, {}); }

  // Lock, read the file again, apply `edit`, write.
  Result<void> change(const std::function<Result<void>(PreferencesStorage&)>& edit);
  // A checked value for a key of the catalogue (setting_descriptions.h); nothing written on error.
  Result<void> setValue(std::string_view key, const Json& value);
  Result<void> resetValue(std::string_view key);
  Result<void> restoreDefaultPropertyValues();

  class StoringSuppression {
   public:
    explicit StoringSuppression(PreferencesController* controller) : controller_(controller) {}
    StoringSuppression(StoringSuppression&& other) noexcept
        : controller_(std::exchange(other.controller_, nullptr)) {}
    StoringSuppression(const StoringSuppression&) = delete;
    StoringSuppression& operator=(const StoringSuppression&) = delete;
    ~StoringSuppression();

   private:
    PreferencesController* controller_;
  };
  [[nodiscard]] StoringSuppression suppressStoring();
  [[nodiscard]] int storeSuppressionCounter() const { return storeSuppressionCounter_; }

  [[nodiscard]] ObservationToken observe(std::string_view key, Executor& executor,
                                         std::function<void(const Json&)> handler);

  // The lists, each in its order.
  [[nodiscard]] const PreferenceLists& lists() const { return lists_; }
  [[nodiscard]] bool canAddNodeToIgnoreList(const std::string& path) const;
  Result<void> addNodesToIgnoreList(const std::vector<std::string>& paths);
  [[nodiscard]] bool canRemoveNodeFromIgnoreList(const std::string& path) const;
  Result<void> removeNodesFromIgnoreList(const std::vector<std::string>& paths);
  // Takes an extension ("JPG", ".jpg") or a file's path; compared in lower case.
  [[nodiscard]] bool canAddExtensionToIgnoreList(const std::string& pathOrExtension) const;
  Result<void> addExtensionToIgnoreList(const std::string& pathOrExtension);
  Result<void> removeExtensionFromIgnoreList(const std::string& pathOrExtension);
  // Names matching a regular expression are left out of scans
  // (scanRules.nodeNameRegExpByMembershipMode).
  Result<void> addNameExpressionToIgnoreList(const std::string& expression);
  Result<void> removeNameExpressionFromIgnoreList(const std::string& expression);
  Result<void> alwaysSelectLocation(const std::string& path);
  Result<void> neverSelectLocation(const std::string& path);
  // False when no rule of that kind names the folder.
  Result<bool> removeSelectionRule(ZKSelectionRule::Kind kind, const std::string& path);
  // Appends the rule; a rule already there is turned on or off as `info` says, in its place.
  Result<void> addSmartSelectionRuleInfo(const SmartSelectionRuleInfo& info);
  Result<bool> removeSmartSelectionRule(const SmartSelectionRule& rule);
  // The items of `kind` the user may edit replaced by `items`, in one transaction.
  Result<void> replaceEditableIgnoreItems(ZKIgnoreItem::Kind kind,
                                          const std::vector<ZKIgnoreItem>& items);
  Result<void> restoreDefaultSelectionRules();
  Result<void> restoreDefaultIgnoreItems();
  // The current values and lists in the form of the default-values description.
  [[nodiscard]] Json buildDefaultValuesInfo() const;

  // A path as the lists keep it: absolute, then abbreviated ("~/Photos/"); a folder ends in "/".
  [[nodiscard]] std::string abbreviatedListPath(const std::string& path) const;

  [[nodiscard]] const Preferences& extendedPreferences() const { return extended_; }
  void updateExtendedPreferences();

 private:
  PreferencesController(PreferencesLocations locations, const OVURLResolver& resolver);
  Result<void> load();
  Result<void> loadSettings();
  Result<void> openStore();
  Result<void> reloadLists();
  Result<void> replayOnFile(
      const std::vector<std::function<Result<void>(PreferencesStorage&)>>& edits);
  Result<void> fillListsFromDefaults(bool ignoreItems, bool selectionRules);
  void endSuppression();

  PreferencesLocations locations_;
  const OVURLResolver& resolver_;
  std::shared_ptr<PreferencesStorage> storage_;
  std::shared_ptr<PreferencesStorage> defaults_;
  std::optional<DefaultValuesInfo> defaultValuesInfo_;
  std::vector<std::string> notices_;
  std::unique_ptr<PreferencesModelContext> context_;
  PreferenceLists lists_;
  Preferences extended_;
  int storeSuppressionCounter_ = 0;
  std::vector<std::function<Result<void>(PreferencesStorage&)>> suppressedEdits_;
};

// An extension as the ignore list keeps it: lowercased, without the dot; a path gives its own.
[[nodiscard]] std::string normalizedExtension(const std::string& pathOrExtension);

}  // namespace zarnik
