#include "gui/preferences_page.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollArea>
#include <QVBoxLayout>

namespace zarnik::gui {
namespace {

constexpr int kIndexRole = Qt::UserRole + 30;
constexpr int kSmartRole = Qt::UserRole + 31;  // true for a smart rule, false for a folder's

QString kindOf(const IgnoredEntry& entry) {
  QString kind;
  switch (entry.kind) {
    case IgnoredEntry::Kind::folder:
      kind = "Folder or file";
      break;
    case IgnoredEntry::Kind::extension:
      kind = "Files ending in it";
      break;
    case IgnoredEntry::Kind::name:
      kind = "Names matching it";
      break;
  }
  if (!entry.enabled) kind += ", turned off";
  if (!entry.editable) kind += ", kept by the program";
  return kind;
}

// An item that says the list is empty; it cannot be chosen.
QTreeWidgetItem* emptyListNote(const QString& text) {
  auto* item = new QTreeWidgetItem({text});
  item->setFlags(Qt::NoItemFlags);
  return item;
}

// Every kind of smart rule; the first three name a type or an application.
std::vector<SmartSelectionRule> everyRuleKind() {
  std::vector<SmartSelectionRule> rules;
  for (auto kind : {SmartSelectionRule::Kind::sameUTIType, SmartSelectionRule::Kind::sameSoftware,
                    SmartSelectionRule::Kind::nonSoftwareAndOriginal})
    rules.emplace_back(kind);
  for (const auto& rule : SmartSelectionRule::simpleRules()) rules.push_back(rule);
  return rules;
}

}  // namespace

PreferencesPage::PreferencesPage(PreferencesEditor& editor, QWidget* parent)
    : QWidget(parent), editor_(editor) {
  settings_ = new SettingsForm;
  auto* scroll = new QScrollArea;
  scroll->setWidget(settings_);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  auto* restore = new QPushButton("Restore Default Settings");
  auto* settingsTab = new QWidget;
  auto* settingsLayout = new QVBoxLayout(settingsTab);
  settingsLayout->addWidget(scroll, 1);
  auto* restoreLine = new QHBoxLayout;
  restoreLine->addStretch();
  restoreLine->addWidget(restore);
  settingsLayout->addLayout(restoreLine);

  tabs_ = new QTabWidget;
  tabs_->addTab(settingsTab, "&Settings");
  tabs_->addTab(makeIgnoreTab(), "&Ignore List");
  tabs_->addTab(makeRulesTab(), "Selection &Rules");
  outcome_ = new QLabel;
  outcome_->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("<h2>Preferences</h2>"));
  layout->addWidget(tabs_, 1);
  layout->addWidget(outcome_);

  connect(settings_, &SettingsForm::changeRequested, &editor_, &PreferencesEditor::changeSetting);
  connect(restore, &QPushButton::clicked, this, [this] {
    const auto answer = QMessageBox::question(
        this, "Restore the Default Settings?",
        "Every setting goes back to its default. The ignore list and the selection rules stay.",
        QMessageBox::RestoreDefaults | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer == QMessageBox::RestoreDefaults) editor_.restoreDefaultSettings();
  });
  connect(&editor_, &PreferencesEditor::loaded, this, [this](bool changed) {
    if (changed) outcome_->clear();
    showSnapshot();
  });
  connect(&editor_, &PreferencesEditor::failed, outcome_, &QLabel::setText);
  showSnapshot();
}

QWidget* PreferencesPage::makeIgnoreTab() {
  ignored_ = new QTreeWidget;
  ignored_->setHeaderLabels({"Left out of every scan", "What it leaves out"});
  ignored_->setRootIsDecorated(false);
  ignored_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ignored_->header()->resizeSection(0, 560);
  auto* addFolder = new QPushButton("Add &Folder…");
  auto* addExtension = new QPushButton("Add &Extension…");
  removeIgnored_ = new QPushButton("Re&move");
  removeIgnored_->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(addFolder);
  buttons->addWidget(addExtension);
  buttons->addWidget(removeIgnored_);
  buttons->addStretch();
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  auto* about = new QLabel(
      "Folders and files here, files ending in these extensions and items whose names match "
      "these patterns are never scanned.");
  about->setWordWrap(true);
  layout->addWidget(about);
  layout->addWidget(ignored_, 1);
  layout->addLayout(buttons);

  connect(addFolder, &QPushButton::clicked, this, [this] {
    chooseFolder("Leave a Folder Out of Every Scan",
                 [this](const QString& folder) { editor_.addIgnoredFolder(folder); });
  });
  connect(addExtension, &QPushButton::clicked, this, &PreferencesPage::askForExtension);
  connect(removeIgnored_, &QPushButton::clicked, this, &PreferencesPage::removeChosenIgnored);
  connect(ignored_, &QTreeWidget::itemSelectionChanged, this,
          [this] { removeIgnored_->setEnabled(!ignored_->selectedItems().isEmpty()); });
  return tab;
}

QWidget* PreferencesPage::makeRulesTab() {
  rules_ = new QTreeWidget;
  rules_->setHeaderLabels({"Rule", "What it does"});
  rules_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  rules_->header()->resizeSection(0, 420);
  auto* always = new QPushButton("&Always Propose Folder…");
  auto* never = new QPushButton("&Never Propose Folder…");
  auto* smart = new QPushButton("Add S&mart Rule…");
  removeRules_ = new QPushButton("Re&move");
  removeRules_->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  for (auto* button : {always, never, smart, removeRules_}) buttons->addWidget(button);
  buttons->addStretch();
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  auto* about = new QLabel(
      "Copies inside an always-proposed folder are proposed for removal, copies inside a "
      "never-proposed folder never are; the nearest folder with a rule decides. Smart rules "
      "apply in the order listed; a rule turned off is kept but not used.");
  about->setWordWrap(true);
  layout->addWidget(about);
  layout->addWidget(rules_, 1);
  layout->addLayout(buttons);

  connect(always, &QPushButton::clicked, this, [this] {
    chooseFolder("Always Propose Copies Inside a Folder",
                 [this](const QString& folder) { editor_.addFolderRule(true, folder); });
  });
  connect(never, &QPushButton::clicked, this, [this] {
    chooseFolder("Never Propose Copies Inside a Folder",
                 [this](const QString& folder) { editor_.addFolderRule(false, folder); });
  });
  connect(smart, &QPushButton::clicked, this, &PreferencesPage::addSmartRule);
  connect(removeRules_, &QPushButton::clicked, this, &PreferencesPage::removeChosenRules);
  connect(rules_, &QTreeWidget::itemSelectionChanged, this,
          [this] { removeRules_->setEnabled(!rules_->selectedItems().isEmpty()); });
  connect(rules_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (column != 0 || !item->data(0, kSmartRole).toBool()) return;
    const auto& rules = editor_.snapshot().smartRules;
    const auto index = static_cast<size_t>(item->data(0, kIndexRole).toInt());
    if (index < rules.size())
      editor_.setSmartRule(rules[index].rule, item->checkState(0) == Qt::Checked);
  });
  return tab;
}

void PreferencesPage::showSnapshot() {
  const PreferencesSnapshot& snapshot = editor_.snapshot();
  if (!snapshot.opened) return;
  settings_->showSnapshot(snapshot);
  fillIgnoreList(snapshot);
  fillRulesList(snapshot);
}

void PreferencesPage::fillIgnoreList(const PreferencesSnapshot& snapshot) {
  ignored_->clear();
  for (size_t i = 0; i < snapshot.ignored.size(); ++i) {
    const IgnoredEntry& entry = snapshot.ignored[i];
    auto* item = new QTreeWidgetItem({entry.shown, kindOf(entry)});
    item->setData(0, kIndexRole, static_cast<int>(i));
    if (!entry.editable) item->setFlags(Qt::ItemIsEnabled);
    ignored_->addTopLevelItem(item);
  }
  if (snapshot.ignored.empty())
    ignored_->addTopLevelItem(emptyListNote("Nothing is left out of scans."));
  removeIgnored_->setEnabled(false);
}

void PreferencesPage::fillRulesList(const PreferencesSnapshot& snapshot) {
  const QSignalBlocker blocker(rules_);
  rules_->clear();
  auto* folders = new QTreeWidgetItem({"Folders"});
  auto* smart = new QTreeWidgetItem({"Smart rules, in the order they apply"});
  for (auto* group : {folders, smart}) group->setFlags(Qt::ItemIsEnabled);
  for (size_t i = 0; i < snapshot.folderRules.size(); ++i) {
    const FolderRule& rule = snapshot.folderRules[i];
    QString what = rule.always ? "Copies inside are always proposed for removal"
                               : "Copies inside are never proposed for removal";
    if (!rule.enabled) what += " (turned off)";
    auto* item = new QTreeWidgetItem(folders, {rule.shown, what});
    item->setData(0, kIndexRole, static_cast<int>(i));
    item->setData(0, kSmartRole, false);
  }
  for (size_t i = 0; i < snapshot.smartRules.size(); ++i) {
    const SmartRule& rule = snapshot.smartRules[i];
    const QString name =
        QString::fromStdString(std::string(rule.rule.identifier())) +
        (rule.rule.hasPayload() ? " " + QString::fromStdString(rule.rule.payload()) : QString());
    auto* item = new QTreeWidgetItem(
        smart,
        {rule.description, "Proposes these copies for removal (zarnik rules: " + name + ")"});
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(0, rule.enabled ? Qt::Checked : Qt::Unchecked);
    item->setData(0, kIndexRole, static_cast<int>(i));
    item->setData(0, kSmartRole, true);
  }
  if (snapshot.folderRules.empty()) folders->addChild(emptyListNote("No folder has a rule."));
  if (snapshot.smartRules.empty()) smart->addChild(emptyListNote("No smart rule."));
  rules_->addTopLevelItem(folders);
  rules_->addTopLevelItem(smart);
  rules_->expandAll();
  removeRules_->setEnabled(false);
}

void PreferencesPage::removeChosenIgnored() {
  const auto& entries = editor_.snapshot().ignored;
  for (auto* item : ignored_->selectedItems()) {
    const auto index = static_cast<size_t>(item->data(0, kIndexRole).toInt());
    if (index < entries.size()) editor_.removeIgnored(entries[index]);
  }
}

void PreferencesPage::removeChosenRules() {
  const PreferencesSnapshot& snapshot = editor_.snapshot();
  for (auto* item : rules_->selectedItems()) {
    const QVariant smart = item->data(0, kSmartRole);
    if (!smart.isValid()) continue;
    const auto index = static_cast<size_t>(item->data(0, kIndexRole).toInt());
    if (smart.toBool() && index < snapshot.smartRules.size())
      editor_.removeSmartRule(snapshot.smartRules[index].rule);
    else if (!smart.toBool() && index < snapshot.folderRules.size())
      editor_.removeFolderRule(snapshot.folderRules[index]);
  }
}

void PreferencesPage::chooseFolder(const QString& title,
                                   const std::function<void(const QString&)>& use) {
  const QString folder = QFileDialog::getExistingDirectory(this, title, QDir::homePath());
  if (!folder.isEmpty()) use(folder);
}

void PreferencesPage::askForExtension() {
  bool given = false;
  const QString extension = QInputDialog::getText(
      this, "Leave an Extension Out of Every Scan",
      "Files ending in this extension (such as iso or .tmp) are not scanned:", QLineEdit::Normal,
      {}, &given);
  if (given && !extension.trimmed().isEmpty()) editor_.addIgnoredExtension(extension);
}

void PreferencesPage::addSmartRule() {
  const auto kinds = everyRuleKind();
  QStringList names;
  for (const auto& rule : kinds) {
    QString name = QString::fromStdString(rule.description());
    if (rule.hasPayload()) name = name.trimmed() + "…";
    names << name;
  }
  bool chosen = false;
  const QString name = QInputDialog::getItem(
      this, "Add a Smart Rule", "Copies the rule proposes for removal:", names, 0, false, &chosen);
  const auto index = names.indexOf(name);
  if (!chosen || index < 0) return;
  SmartSelectionRule rule = kinds[static_cast<size_t>(index)];
  if (rule.hasPayload()) {
    bool given = false;
    const QString payload = QInputDialog::getText(
        this, "Add a Smart Rule", "The type or the application the rule names:", QLineEdit::Normal,
        {}, &given);
    if (!given || payload.trimmed().isEmpty()) return;
    rule = SmartSelectionRule(rule.kind(), payload.trimmed().toStdString());
  }
  editor_.setSmartRule(rule, true);
}

}  // namespace zarnik::gui
