// The settings of the preferences page: the ones a person changes, by what they do, and below,
// shown on request, the other settings a person may set, by their keys, as `zarnik config list`
// names them (what the program keeps for itself is left to the command line). Each field takes what
// `zarnik config set` takes and says, in its tooltip, its key and what it expects; a setting away
// from its default says the default beside it.
#pragma once

#include "gui/preferences_editor.h"

#include <QWidget>
#include <map>

class QLabel;
class QToolButton;
class QFormLayout;

namespace zarnik::gui {

class SettingsForm : public QWidget {
  Q_OBJECT

 public:
  explicit SettingsForm(QWidget* parent = nullptr);

  // Built at the first snapshot; later ones only change the values shown.
  void showSnapshot(const PreferencesSnapshot& snapshot);
  // The field of a setting ("scanRules.exactMatchEnabled"); nothing before the first snapshot.
  [[nodiscard]] QWidget* field(const QString& key) const;

 signals:
  // The text `zarnik config set KEY TEXT` would be given.
  void changeRequested(const QString& key, const QString& text);

 private:
  struct Row {
    QWidget* field = nullptr;
    QLabel* fallback = nullptr;
  };
  void build(const PreferencesSnapshot& snapshot);
  void addRow(QFormLayout* form, const SettingState& setting, const QString& label,
              bool indented = false);
  QWidget* makeField(const SettingState& setting, const QString& label);
  void showValue(const Row& row, const SettingState& setting);
  void requestChange(const QString& key, QWidget* field, const QString& text);

  std::map<QString, Row> rows_;
  QWidget* others_ = nullptr;
  QToolButton* showOthers_ = nullptr;
};

}  // namespace zarnik::gui
