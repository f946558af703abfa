#include "gui/settings_form.h"

#include "preferences/preferences_storage.h"

#include <climits>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <cctype>
#include <set>

namespace zarnik::gui {
namespace {

// The value a field was last given from the stored settings, as the command line writes it.
constexpr const char* kStoredText = "storedText";

struct ShownSetting {
  const char* key;
  const char* label;
  bool underThePrevious = false;  // only matters when the one above is on
};

struct ShownGroup {
  const char* title;
  std::vector<ShownSetting> settings;
};

// The settings a person changes, by what they do; the keys are those of `zarnik config`.
const std::vector<ShownGroup>& shownGroups() {
  static const std::vector<ShownGroup> kGroups = {
      {"What a scan looks for",
       {{"scanRules.exactMatchEnabled", "Find exact copies"},
        {"scanRules.similarsDetectionEnabled", "Find similar files"},
        {"scanRules.similarImagesMatchAllowed", "Similar pictures", true},
        {"scanRules.similarAudioMatchAllowed", "Similar music", true},
        {"scanRules.exactAudioContentMatchEnabled", "Music that differs only in its tags"},
        {"scanRules.directoriesMatchEnabled", "Duplicate folders"},
        {"scanRules.applicationsMatchEnabled", "Applications"},
        {"scanRules.shouldDetectMediaLibraries", "Recognise music and photo library folders"},
        {"scanRules.sizeThresholdOption", "Smallest group shown (bytes or auto)"},
        {"scanRules.similarImageSizeThreshold", "Smallest picture compared"},
        {"scanRules.rawImageMatchThreshold", "Picture likeness tolerance"},
        {"scanRules.isPreciseImageMatchEnabled", "Compare close pictures once more, precisely"},
        {"scanRules.similarAudioDurationThreshold", "Music length tolerance (seconds)"},
        {"scanRules.similarAudioMetadataThreshold", "Music tag tolerance"}}},
      {"Which copies are proposed for removal",
       {{"autoselectionRules.allowAutoselectionWithinHardlinkedGroups",
         "Propose copies that are hard links of one another"},
        {"autoselectionRules.allowSelectionOfMembersOfInvalidMediaLibraries",
         "Propose copies inside damaged media libraries"},
        {"autoselectionRules.selectRandomAmongEqual", "Choose at random among equal copies"},
        {"mixedPreferences.suppressOriginalSelectionWarning",
         "Mark every copy of a file without a warning"}}},
      {"Cleaning",
       {{"cleaningRules.removeEmptyDirectories", "Remove folders a cleaning leaves empty"},
        {"cleaningRules.shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal",
         "Replace removed copies with hard links to the kept one"},
        {"cleaningRules.isFakeRemove", "Trial cleanings: record them, touch no file"}}},
      {"Reminders and the duplicates monitor",
       {{"mixedPreferences.schedulePeriodOption", "Remind me to look for duplicates"},
        {"mixedPreferences.duplicatesMonitorPermission", "Watch folders for new duplicates"},
        {"mixedPreferences.isDuplicatesNotificationEnabled",
         "Notify me of new duplicates the monitor finds"},
        {"mixedPreferences.duplicatesMonitorNodeLimit", "Most files the monitor keeps"},
        {"mixedPreferences.showingAchievementNotificationsEnabled",
         "Notify me when an achievement is earned"},
        {"mixedPreferences.soundsEnabled", "Play sounds"}}},
  };
  return kGroups;
}

// What the program keeps for itself (what it has shown, when it last did something, its crash
// guard) and what only a media library application's cleaning reads: `zarnik config` lists them,
// nobody sets them from a window.
bool isBookkeeping(std::string_view key) {
  static const std::set<std::string_view> kKeys = {
      kOngoingMonitorStoreOperationsKey,
      kConsecutiveMonitorCrashesKey,
      "mixedPreferences.lastPreferencesMigrationAtVersionString",
      "mixedPreferences.didRegisterServices",
      "mixedPreferences.introShown",
      "mixedPreferences.achievementIntroShown",
      "mixedPreferences.didShowSimilarsTipForTheFirstTime",
      "mixedPreferences.userSeenDifferencesTip",
      "mixedPreferences.detailedScanResultsWindowSize",
      "mixedPreferences.totalSizeOfCleanedDuplicates",
      "mixedPreferences.totalSizeOfCleanedSimilars",
      "mixedPreferences.lastScanDate",
      "mixedPreferences.lastDuplicatesNotificationDate",
      "mixedPreferences.canOpenITunesWithoutPermission",
      "mixedPreferences.canOpenPhotosWithoutPermission",
      "mixedPreferences.libraryOpeningAwaitingTimeout",
      "mixedPreferences.suppressPhotosCleaningScreen",
      "mixedPreferences.suppressPhotosKitCleaningScreen",
      "mixedPreferences.fallbackToPhotosAppCleaningPolicy",
  };
  return kKeys.count(key) != 0;
}

// "onceInTwoWeeks" → "Once in two weeks".
QString spokenChoice(std::string_view name) {
  QString spoken;
  for (const char c : name) {
    if (std::isupper(static_cast<unsigned char>(c)) != 0 && !spoken.isEmpty()) {
      spoken += ' ';
      spoken += QChar(c).toLower();
    } else {
      spoken += QChar(c);
    }
  }
  if (!spoken.isEmpty()) spoken[0] = spoken[0].toUpper();
  return spoken;
}

// A value as the field shows it: on and off, a choice in words, other values as typed.
QString shownValue(const SettingDescription& description, const QString& text) {
  if (description.type == SettingType::boolean) return text == "true" ? "on" : "off";
  if (description.type == SettingType::choice) return spokenChoice(text.toStdString());
  return text;
}

bool fitsSpinBox(const SettingDescription& description) {
  return description.type == SettingType::integer && description.minimum >= INT_MIN &&
         description.maximum <= INT_MAX;
}

bool fitsDoubleSpinBox(const SettingDescription& description) {
  return description.type == SettingType::number && description.maximum <= 1e9;
}

}  // namespace

SettingsForm::SettingsForm(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Reading the settings…"));
  layout->addStretch();
}

QWidget* SettingsForm::field(const QString& key) const {
  const auto found = rows_.find(key);
  return found == rows_.end() ? nullptr : found->second.field;
}

void SettingsForm::showSnapshot(const PreferencesSnapshot& snapshot) {
  if (!snapshot.opened) return;
  if (rows_.empty()) build(snapshot);
  for (const auto& setting : snapshot.settings) {
    const auto found = rows_.find(QString::fromStdString(setting.description.key));
    if (found != rows_.end()) showValue(found->second, setting);
  }
}

void SettingsForm::build(const PreferencesSnapshot& snapshot) {
  delete layout();
  qDeleteAll(findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
  auto* layout = new QVBoxLayout(this);
  std::set<std::string> shown;
  for (const auto& group : shownGroups()) {
    auto* box = new QGroupBox(group.title);
    auto* form = new QFormLayout(box);
    for (const auto& [key, label, underThePrevious] : group.settings) {
      const SettingState* setting = snapshot.setting(key);
      if (setting == nullptr) continue;
      addRow(form, *setting, label, underThePrevious);
      shown.insert(key);
    }
    layout->addWidget(box);
  }
  showOthers_ = new QToolButton;
  showOthers_->setText("More settings, by their names in zarnik config");
  showOthers_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  showOthers_->setArrowType(Qt::RightArrow);
  showOthers_->setCheckable(true);
  showOthers_->setAutoRaise(true);
  layout->addWidget(showOthers_);
  others_ = new QWidget;
  auto* form = new QFormLayout(others_);
  for (const auto& setting : snapshot.settings) {
    if (shown.count(setting.description.key) != 0 || isBookkeeping(setting.description.key))
      continue;
    addRow(form, setting, QString::fromStdString(setting.description.key));
  }
  others_->setVisible(false);
  layout->addWidget(others_);
  layout->addStretch();
  connect(showOthers_, &QToolButton::toggled, this, [this](bool open) {
    showOthers_->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    others_->setVisible(open);
  });
}

void SettingsForm::addRow(QFormLayout* form, const SettingState& setting, const QString& label,
                          bool indented) {
  const QString key = QString::fromStdString(setting.description.key);
  Row row;
  row.field = makeField(setting, label);
  const QString expected = QString::fromStdString(setting.description.expectation());
  row.field->setToolTip(QString("%1: %2").arg(key, expected));
  row.field->setAccessibleDescription(expected);
  row.fallback = new QLabel;
  row.fallback->setForegroundRole(QPalette::PlaceholderText);
  auto* line = new QHBoxLayout;
  if (indented) line->addSpacing(style()->pixelMetric(QStyle::PM_IndicatorWidth) * 2);
  line->addWidget(row.field);
  line->addWidget(row.fallback);
  line->addStretch();
  if (setting.description.type == SettingType::boolean) {
    form->addRow(line);
  } else {
    auto* name = new QLabel(label + ":");
    name->setBuddy(row.field);
    form->addRow(name, line);
  }
  rows_[key] = row;
}

QWidget* SettingsForm::makeField(const SettingState& setting, const QString& label) {
  const QString key = QString::fromStdString(setting.description.key);
  const SettingDescription& description = setting.description;
  if (description.type == SettingType::boolean) {
    auto* box = new QCheckBox(label);
    connect(box, &QCheckBox::toggled, this,
            [this, key, box](bool on) { requestChange(key, box, on ? "true" : "false"); });
    return box;
  }
  if (description.type == SettingType::choice) {
    auto* box = new QComboBox;
    for (const auto choice : description.choices)
      box->addItem(spokenChoice(choice),
                   QString::fromUtf8(choice.data(), static_cast<qsizetype>(choice.size())));
    connect(box, &QComboBox::activated, this, [this, key, box](int index) {
      requestChange(key, box, box->itemData(index).toString());
    });
    return box;
  }
  if (fitsSpinBox(description)) {
    auto* box = new QSpinBox;
    box->setRange(static_cast<int>(description.minimum), static_cast<int>(description.maximum));
    box->setMinimumWidth(120);
    connect(box, &QSpinBox::editingFinished, this,
            [this, key, box] { requestChange(key, box, QString::number(box->value())); });
    return box;
  }
  if (fitsDoubleSpinBox(description)) {
    auto* box = new QDoubleSpinBox;
    box->setRange(description.minimum, description.maximum);
    box->setDecimals(description.maximum <= 1 ? 3 : 1);
    box->setSingleStep(description.maximum <= 1 ? 0.01 : 1);
    box->setMinimumWidth(120);
    connect(box, &QDoubleSpinBox::editingFinished, this,
            [this, key, box] { requestChange(key, box, QString::number(box->value(), 'g', 12)); });
    return box;
  }
  auto* edit = new QLineEdit;
  edit->setMinimumWidth(240);
  connect(edit, &QLineEdit::editingFinished, this,
          [this, key, edit] { requestChange(key, edit, edit->text()); });
  return edit;
}

void SettingsForm::requestChange(const QString& key, QWidget* field, const QString& text) {
  // Leaving a field, or pressing Enter in it, changes nothing until its value does.
  if (field->property(kStoredText).toString() != text) emit changeRequested(key, text);
}

void SettingsForm::showValue(const Row& row, const SettingState& setting) {
  const SettingDescription& description = setting.description;
  const QSignalBlocker blocker(row.field);
  row.field->setProperty(kStoredText, setting.value);
  if (auto* box = qobject_cast<QCheckBox*>(row.field)) {
    box->setChecked(setting.value == "true");
  } else if (auto* box = qobject_cast<QComboBox*>(row.field)) {
    box->setCurrentIndex(box->findData(setting.value));
  } else if (auto* box = qobject_cast<QSpinBox*>(row.field)) {
    box->setValue(setting.value.toInt());
  } else if (auto* box = qobject_cast<QDoubleSpinBox*>(row.field)) {
    box->setValue(setting.value.toDouble());
  } else if (auto* edit = qobject_cast<QLineEdit*>(row.field)) {
    edit->setText(setting.value);
  }
  row.fallback->setText(setting.isDefault()
                            ? QString()
                            : "default: " + shownValue(description, setting.defaultValue));
}

}  // namespace zarnik::gui
