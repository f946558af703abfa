#include "gui/preferences_editor.h"

#include "base/byte_path.h"
#include "preferences/preferences_controller.h"

#include <QMetaObject>

namespace zarnik::gui {
namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

const BaseStorage& ownerOf(const PreferencesStorage& storage, const SettingDescription& setting) {
  return setting.owner.empty() ? static_cast<const BaseStorage&>(storage)
                               : *storage.substorage(setting.owner);
}

// The name patterns of the ignore list, kept with the scan rules.
std::vector<std::string> ignoredNames(const PreferencesController& preferences) {
  const auto expressions = preferences.storage().scanRules()->nodeNameRegExpByMembershipMode();
  const auto found = expressions.find("Regular");
  return found == expressions.end() ? std::vector<std::string>{} : found->second;
}

void readIgnoreList(const PreferencesController& preferences, PreferencesSnapshot& snapshot) {
  using Kind = IgnoredEntry::Kind;
  std::vector<IgnoredEntry> extensions;
  for (const auto& item : preferences.lists().ignoreItems) {
    if (item.hidden) continue;  // kept out of sight by the defaults that brought it
    if (item.kind == ZKIgnoreItem::Kind::node) {
      snapshot.ignored.push_back(
          {Kind::folder, qs(displayPath(item.path)), item.path, item.enabled, item.editable});
      continue;
    }
    for (const auto& extension : item.pathExtensions) {
      extensions.push_back({Kind::extension, "." + qs(displayPath(extension)), extension,
                            item.enabled, item.editable});
    }
  }
  snapshot.ignored.insert(snapshot.ignored.end(), extensions.begin(), extensions.end());
  for (const auto& name : ignoredNames(preferences))
    snapshot.ignored.push_back({Kind::name, qs(displayPath(name)), name, true, true});
}

PreferencesSnapshot readSnapshot(const PreferencesController& preferences) {
  PreferencesSnapshot snapshot;
  snapshot.opened = true;
  for (const auto& setting : settingDescriptions()) {
    const Json value = ownerOf(preferences.storage(), setting).valueForKey(setting.name);
    const Json fallback = ownerOf(preferences.defaults(), setting).valueForKey(setting.name);
    snapshot.settings.push_back(
        {setting, qs(settingText(setting, value)), qs(settingText(setting, fallback)), value});
  }
  readIgnoreList(preferences, snapshot);
  for (const auto& rule : preferences.lists().selectionRules) {
    if (rule.hidden) continue;
    snapshot.folderRules.push_back({rule.kind == ZKSelectionRule::Kind::always,
                                    qs(displayPath(rule.path)), rule.path, rule.enabled});
  }
  for (const auto& rule : preferences.lists().smartSelectionRules) {
    snapshot.smartRules.push_back(
        {rule.ruleInfo.rule, qs(rule.ruleInfo.rule.description()), rule.isEnabled()});
  }
  snapshot.preferences = preferences.extendedPreferences();
  return snapshot;
}

}  // namespace

const SettingState* PreferencesSnapshot::setting(std::string_view key) const {
  for (const auto& state : settings)
    if (state.description.key == key) return &state;
  return nullptr;
}

struct PreferencesEditor::State {
  std::unique_ptr<PreferencesController> controller;

  // The user's preferences, opened at the first use.
  Result<void> open() {
    if (controller) return success();
    auto opened = PreferencesController::open(PreferencesLocations::standard());
    if (opened.hasError()) return opened.error();
    controller = std::move(opened).value();
    (void)controller->takeNotices();  // the session's own controller tells them
    return success();
  }
};

PreferencesEditor::PreferencesEditor(QObject* parent)
    : QObject(parent),
      queue_(SerialQueue::make("gui.preferences")),
      state_(std::make_shared<State>()) {}

// What was asked for is finished first: nothing is left to call an editor that is gone, and what
// it posted here goes with the object.
PreferencesEditor::~PreferencesEditor() {
  queue_->sync([] {});
}

void PreferencesEditor::perform(Change change) {
  auto state = state_;
  queue_->async([this, state, change = std::move(change)] {
    QString error;
    if (auto opened = state->open(); opened.hasError()) {
      error = "The preferences cannot be read: " + qs(opened.error().oneLine());
    } else if (change) {
      if (auto done = change(*state->controller); done.hasError())
        error = qs(done.error().oneLine());
    }
    auto snapshot = std::make_shared<PreferencesSnapshot>(
        state->controller ? readSnapshot(*state->controller) : PreferencesSnapshot{});
    const bool changed = change && error.isEmpty();
    QMetaObject::invokeMethod(
        this,
        [this, snapshot, error, changed] {
          snapshot_ = std::move(*snapshot);
          if (!error.isEmpty()) emit failed(error);
          emit loaded(changed);
        },
        Qt::QueuedConnection);
  });
}

void PreferencesEditor::reload() { perform({}); }

void PreferencesEditor::changeSetting(const QString& key, const QString& text) {
  perform([key = key.toStdString(),
           text = text.toStdString()](PreferencesController& preferences) -> Result<void> {
    const SettingDescription* setting = findSetting(key);
    if (setting == nullptr) return Error::generic(key + ": no such setting");
    ZK_ASSIGN_OR_RETURN(auto value, parseSettingText(*setting, text));
    return preferences.setValue(setting->key, value);
  });
}

void PreferencesEditor::restoreDefaultSettings() {
  perform([](PreferencesController& preferences) {
    return preferences.restoreDefaultPropertyValues();
  });
}

void PreferencesEditor::addIgnoredFolder(const QString& path) {
  perform([path = path.toStdString()](PreferencesController& preferences) -> Result<void> {
    if (!preferences.canAddNodeToIgnoreList(path)) {
      return Error::generic(displayPath(preferences.abbreviatedListPath(path)) +
                            " is already ignored.");
    }
    return preferences.addNodesToIgnoreList({path});
  });
}

void PreferencesEditor::addIgnoredExtension(const QString& extension) {
  perform([extension = extension.trimmed().toStdString()](
              PreferencesController& preferences) -> Result<void> {
    const std::string shown = "." + displayPath(normalizedExtension(extension));
    if (normalizedExtension(extension).empty())
      return Error::generic("Give an extension, such as iso or .tmp.");
    if (!preferences.canAddExtensionToIgnoreList(extension))
      return Error::generic("Files ending in " + shown + " are already ignored.");
    return preferences.addExtensionToIgnoreList(extension);
  });
}

void PreferencesEditor::removeIgnored(const IgnoredEntry& entry) {
  perform([entry](PreferencesController& preferences) -> Result<void> {
    switch (entry.kind) {
      case IgnoredEntry::Kind::folder:
        return preferences.removeNodesFromIgnoreList({entry.value});
      case IgnoredEntry::Kind::extension:
        return preferences.removeExtensionFromIgnoreList(entry.value);
      case IgnoredEntry::Kind::name:
        return preferences.removeNameExpressionFromIgnoreList(entry.value);
    }
    return success();
  });
}

void PreferencesEditor::addFolderRule(bool always, const QString& path) {
  perform([always, path = path.toStdString()](PreferencesController& preferences) {
    return always ? preferences.alwaysSelectLocation(path) : preferences.neverSelectLocation(path);
  });
}

void PreferencesEditor::removeFolderRule(const FolderRule& rule) {
  perform([rule](PreferencesController& preferences) -> Result<void> {
    const auto kind = rule.always ? ZKSelectionRule::Kind::always : ZKSelectionRule::Kind::never;
    ZK_TRY(preferences.removeSelectionRule(kind, rule.path));
    return success();
  });
}

void PreferencesEditor::setSmartRule(const SmartSelectionRule& rule, bool enabled) {
  perform([rule, enabled](PreferencesController& preferences) {
    return preferences.addSmartSelectionRuleInfo({rule, enabled});
  });
}

void PreferencesEditor::removeSmartRule(const SmartSelectionRule& rule) {
  perform([rule](PreferencesController& preferences) -> Result<void> {
    ZK_TRY(preferences.removeSmartSelectionRule(rule));
    return success();
  });
}

}  // namespace zarnik::gui
