#include "gui/history_page.h"

#include "gui/results_item_model.h"

#include "base/byte_path.h"
#include "base/date.h"
#include "cleaning/cleaning_note.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <map>

namespace zarnik::gui {
namespace {

constexpr int kCopyRole = Qt::UserRole + 20;

// "in the trash", "moved to …", "deleted", "replaced by a hard link"; why it failed.
QString whatBecameOf(const CleaningNote& note) {
  if (note.pending) return "cut off while it was being cleaned";
  if (note.error) return "could not be cleaned: " + QString::fromStdString(note.error->oneLine());
  if (note.isFakeRemove) return "a trial, nothing was touched";
  QStringList what;
  for (const auto& action : note.actions) {
    if (std::holds_alternative<CleaningMovedToTrashAction>(action))
      what << "in the trash";
    else if (const auto* moved = std::get_if<CleaningMovedAction>(&action))
      what << "moved to " + QString::fromStdString(displayPath(moved->destination.value_or("?")));
    else if (std::holds_alternative<CleaningRemovedAction>(action))
      what << "deleted";
    else
      what << "replaced by a hard link";
  }
  if (note.reversionError)
    what << "could not be brought back: " + QString::fromStdString(note.reversionError->oneLine());
  return what.join(", ");
}

}  // namespace

HistoryPage::HistoryPage(DesktopSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
  list_ = new QTreeWidget;
  list_->setHeaderLabels({"Copy", "What became of it", "Size"});
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->header()->resizeSection(0, 520);
  list_->header()->resizeSection(1, 420);
  revertChosen_ = new QPushButton("Bring Back Chosen");
  revertAll_ = new QPushButton("Bring Back All");
  outcome_ = new QLabel;
  outcome_->setWordWrap(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(revertChosen_);
  buttons->addWidget(revertAll_);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("<h2>Past cleanings</h2>"));
  layout->addWidget(list_, 1);
  layout->addWidget(outcome_);
  layout->addLayout(buttons);

  connect(revertChosen_, &QPushButton::clicked, this, &HistoryPage::revertChosen);
  connect(revertAll_, &QPushButton::clicked, this, [this] { session_.revert({}); });
  connect(list_, &QTreeWidget::itemSelectionChanged, this,
          [this] { revertChosen_->setEnabled(!list_->selectedItems().isEmpty()); });
  connect(&session_, &DesktopSession::resultsLoaded, this, &HistoryPage::refresh);
  connect(&session_, &DesktopSession::revertFinished, this,
          [this](qint64 broughtBack, const QStringList& failures) {
            QString text = QString("%1 %2 brought back.")
                               .arg(broughtBack)
                               .arg(broughtBack == 1 ? "copy" : "copies");
            if (!failures.isEmpty()) text += " Not brought back:\n" + failures.join("\n");
            outcome_->setText(text);
          });
  refresh();
}

void HistoryPage::refresh() {
  list_->clear();
  std::map<std::int64_t, QTreeWidgetItem*> cleanings;  // newest last
  for (const auto& [identifier, group] : session_.storedGroups()) {
    for (const auto& duplicate : group.duplicates) {
      const auto note = cleaningNoteOf(duplicate);
      if (!note) continue;
      auto& cleaning = cleanings[note->cleanID];
      if (!cleaning) {
        cleaning = new QTreeWidgetItem(
            {QString("Cleaning %1").arg(note->cleanID),
             QLocale().toString(
                 QDateTime::fromSecsSinceEpoch(static_cast<qint64>(secondsSince1970(note->date))),
                 QLocale::ShortFormat)});
      }
      auto* copy =
          new QTreeWidgetItem(cleaning, {QString::fromStdString(displayPath(note->originalPath)),
                                         whatBecameOf(*note), byteCountText(note->size)});
      copy->setData(0, kCopyRole, QVariant::fromValue<qint64>(duplicate.identifier));
      copy->setDisabled(!note->canRevert() && !note->error);
    }
  }
  for (auto it = cleanings.rbegin(); it != cleanings.rend(); ++it)
    list_->addTopLevelItem(it->second);
  list_->expandAll();
  revertChosen_->setEnabled(false);
  revertAll_->setEnabled(!cleanings.empty());
  // The outcome of a revert stays until the next one; the note on an empty history goes with it.
  static const QString kNothingCleaned = "Nothing has been cleaned in these results yet.";
  if (cleanings.empty() && outcome_->text().isEmpty()) outcome_->setText(kNothingCleaned);
  if (!cleanings.empty() && outcome_->text() == kNothingCleaned) outcome_->clear();
}

void HistoryPage::revertChosen() {
  std::set<std::int64_t> copies;
  for (auto* item : list_->selectedItems()) {
    if (item->parent()) {
      copies.insert(item->data(0, kCopyRole).toLongLong());
      continue;
    }
    for (int child = 0; child < item->childCount(); ++child)
      copies.insert(item->child(child)->data(0, kCopyRole).toLongLong());
  }
  if (!copies.empty()) session_.revert(copies);
}

}  // namespace zarnik::gui
