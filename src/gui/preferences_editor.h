// PreferencesEditor: the window's side of the user's stored preferences, as `zarnik config`,
// `zarnik ignore` and `zarnik rules` read and change them. It keeps its own PreferencesController
// on a serial queue of its own: opening the files and every change run there, never on the GUI
// thread, and each one ends with a fresh PreferencesSnapshot handed over with a queued call.
// Used on the GUI thread; destroying it waits for the work already asked for.
#pragma once

#include "foundation/serial_queue.h"
#include "preferences/extended_preferences.h"
#include "preferences/setting_descriptions.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zarnik {
class PreferencesController;
}

namespace zarnik::gui {

// One setting of the catalogue, as `zarnik config list` shows it.
struct SettingState {
  SettingDescription description;
  QString value;         // as written on the command line ("true", "monthly", "auto")
  QString defaultValue;  // the same for the default
  Json storedValue;
  [[nodiscard]] bool isDefault() const { return value == defaultValue; }
};

struct IgnoredEntry {
  enum class Kind { folder, extension, name };
  Kind kind = Kind::folder;
  QString shown;      // "~/Videos/raw/", ".iso", "^~\$"
  std::string value;  // what removing it takes: the stored path, the extension, the expression
  bool enabled = true;
  bool editable = true;
};

struct FolderRule {
  bool always = true;  // always proposed for removal; never otherwise
  QString shown;
  std::string path;  // as stored ("~/Photos/")
  bool enabled = true;
};

struct SmartRule {
  SmartSelectionRule rule{SmartSelectionRule::Kind::nonLoved};
  QString description;
  bool enabled = true;
};

// What the preferences hold, read on the editor's queue.
struct PreferencesSnapshot {
  bool opened = false;
  std::vector<SettingState> settings;  // in catalogue order
  std::vector<IgnoredEntry> ignored;   // folders, then extensions, then names
  std::vector<FolderRule> folderRules;
  std::vector<SmartRule> smartRules;  // in their order
  Preferences preferences;            // what a scan and a selection are made from
  [[nodiscard]] const SettingState* setting(std::string_view key) const;
};

class PreferencesEditor : public QObject {
  Q_OBJECT

 public:
  explicit PreferencesEditor(QObject* parent = nullptr);
  ~PreferencesEditor() override;

  // The latest snapshot; empty (not opened) until loaded() first.
  [[nodiscard]] const PreferencesSnapshot& snapshot() const { return snapshot_; }

  // Reads the preferences again (another program may have changed them).
  void reload();
  // `text` as `zarnik config set KEY TEXT` takes it; a wrong value changes nothing.
  void changeSetting(const QString& key, const QString& text);
  void restoreDefaultSettings();
  void addIgnoredFolder(const QString& path);
  void addIgnoredExtension(const QString& extension);
  void removeIgnored(const IgnoredEntry& entry);
  void addFolderRule(bool always, const QString& path);
  void removeFolderRule(const FolderRule& rule);
  // Adds the smart rule, or turns it on or off where it stands.
  void setSmartRule(const SmartSelectionRule& rule, bool enabled);
  void removeSmartRule(const SmartSelectionRule& rule);

 signals:
  // A new snapshot(); `changed` when the preferences a scan uses may differ from the last one.
  void loaded(bool changed);
  void failed(const QString& message);

 private:
  struct State;
  using Change = std::function<Result<void>(PreferencesController&)>;
  // Runs `change` on the queue, then reads the snapshot again and hands it over.
  void perform(Change change);

  std::shared_ptr<SerialQueue> queue_;
  std::shared_ptr<State> state_;  // touched on queue_ only
  PreferencesSnapshot snapshot_;
};

}  // namespace zarnik::gui
