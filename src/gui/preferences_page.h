// The preferences: the settings, the ignore list (folders, extensions and name patterns left out
// of every scan) and the selection rules (folders whose copies are always or never proposed for
// removal, and the smart rules in their order, each turned on or off), as `zarnik config`,
// `zarnik ignore` and `zarnik rules` show and change them. Read and changed through a
// PreferencesEditor, off the window's thread.
#pragma once

#include "gui/preferences_editor.h"
#include "gui/settings_form.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QWidget>

namespace zarnik::gui {

class PreferencesPage : public QWidget {
  Q_OBJECT

 public:
  explicit PreferencesPage(PreferencesEditor& editor, QWidget* parent = nullptr);

  [[nodiscard]] QTabWidget& tabs() { return *tabs_; }
  [[nodiscard]] SettingsForm& settings() { return *settings_; }
  [[nodiscard]] QTreeWidget& ignoreList() { return *ignored_; }
  [[nodiscard]] QTreeWidget& rulesList() { return *rules_; }
  // Removes the entries chosen in the ignore list, or the rules chosen in the rules list.
  void removeChosenIgnored();
  void removeChosenRules();

 private:
  QWidget* makeIgnoreTab();
  QWidget* makeRulesTab();
  void showSnapshot();
  void fillIgnoreList(const PreferencesSnapshot& snapshot);
  void fillRulesList(const PreferencesSnapshot& snapshot);
  void chooseFolder(const QString& title, const std::function<void(const QString&)>& use);
  void askForExtension();
  void addSmartRule();

  PreferencesEditor& editor_;
  QTabWidget* tabs_;
  SettingsForm* settings_;
  QTreeWidget* ignored_ = nullptr;
  QPushButton* removeIgnored_ = nullptr;
  QTreeWidget* rules_ = nullptr;
  QPushButton* removeRules_ = nullptr;
  QLabel* outcome_;
};

}  // namespace zarnik::gui
