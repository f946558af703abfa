#include "gui/cleaning_page.h"

#include "gui/results_item_model.h"

#include "base/byte_path.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QVBoxLayout>

namespace zarnik::gui {

CleaningPage::CleaningPage(DesktopSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
  auto* ways = new QGroupBox("How the marked copies go");
  trash_ = new QRadioButton("Move them to the trash (they can be brought back)");
  remove_ = new QRadioButton("Delete them permanently");
  moveTo_ = new QRadioButton("Move them into a folder:");
  hardLink_ = new QRadioButton("Replace them by hard links to the kept copy");
  trash_->setChecked(true);
  folder_ = new QLineEdit;
  folder_->setPlaceholderText("Folder for the copies");
  auto* choose = new QPushButton("Choose…");
  auto* moveRow = new QHBoxLayout;
  moveRow->addWidget(moveTo_);
  moveRow->addWidget(folder_, 1);
  moveRow->addWidget(choose);
  auto* waysLayout = new QVBoxLayout(ways);
  waysLayout->addWidget(trash_);
  waysLayout->addWidget(remove_);
  waysLayout->addLayout(moveRow);
  waysLayout->addWidget(hardLink_);

  plan_ = new QLabel;
  plan_->setWordWrap(true);
  clean_ = new QPushButton("Clean…");
  clean_->setMinimumHeight(36);
  cancel_ = new QPushButton("Stop");
  cancel_->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(clean_);
  buttons->addWidget(cancel_);
  buttons->addStretch();
  bar_ = new QProgressBar;
  bar_->setRange(0, 1000);
  bar_->setValue(0);
  planned_ = new QListWidget;
  planned_->setAccessibleName("Copies that will go");
  report_ = new QPlainTextEdit;
  report_->setReadOnly(true);
  report_->setPlaceholderText("The report of the cleaning appears here.");

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("<h2>Clean</h2>"));
  layout->addWidget(ways);
  layout->addWidget(plan_);
  layout->addLayout(buttons);
  layout->addWidget(planned_, 1);
  layout->addWidget(bar_);
  layout->addWidget(report_, 1);

  connect(choose, &QPushButton::clicked, this, [this] {
    const QString folder = QFileDialog::getExistingDirectory(this, "Move the Copies Into");
    if (!folder.isEmpty()) {
      folder_->setText(folder);
      moveTo_->setChecked(true);
    }
  });
  connect(clean_, &QPushButton::clicked, this, &CleaningPage::askAndClean);
  connect(cancel_, &QPushButton::clicked, &session_, &DesktopSession::cancelCleaning);
  connect(&session_, &DesktopSession::planReady, this, &CleaningPage::showPlan);
  connect(&session_, &DesktopSession::cleaningProgress, this,
          [this](double fraction, qint64 done, qint64 total) {
            bar_->setValue(static_cast<int>(fraction * 1000));
            plan_->setText(QString("Cleaning: %1 of %2 done").arg(done).arg(total));
          });
  connect(&session_, &DesktopSession::cleaningFinished, this, &CleaningPage::showOutcome);
  // A cleaning refused or given up before it began leaves the page as it was before Clean.
  connect(&session_, &DesktopSession::failed, this, [this] {
    if (session_.isCleaning()) return;
    cancel_->setEnabled(false);
    clean_->setEnabled(!lastPlan_.items.empty());
  });
}

// The list shown is dropped until the new one arrives: Clean acts only on a list that is current.
void CleaningPage::refresh() {
  lastPlan_ = CleaningPlan{};
  lastWarnings_.clear();
  clean_->setEnabled(false);
  session_.planCleaning();
}

CleaningWay CleaningPage::way() const {
  if (remove_->isChecked()) return CleaningWay::remove;
  if (moveTo_->isChecked()) return CleaningWay::moveTo;
  if (hardLink_->isChecked()) return CleaningWay::hardLink;
  return CleaningWay::trash;
}

void CleaningPage::setWay(CleaningWay way) {
  trash_->setChecked(way == CleaningWay::trash);
  remove_->setChecked(way == CleaningWay::remove);
  moveTo_->setChecked(way == CleaningWay::moveTo);
  hardLink_->setChecked(way == CleaningWay::hardLink);
}

void CleaningPage::showPlan(const CleaningPlan& plan, const QStringList& warnings) {
  lastPlan_ = plan;
  lastWarnings_ = warnings;
  const auto count = static_cast<qint64>(plan.items.size());
  QString text = count == 0 ? QString("Nothing is marked for removal.")
                            : QString("%1 %2 (%3) will go.")
                                  .arg(count)
                                  .arg(count == 1 ? "copy" : "copies")
                                  .arg(byteCountText(plan.size()));
  if (!warnings.isEmpty()) text += "\n" + warnings.join("\n");
  plan_->setText(text);
  planned_->clear();
  for (const auto& item : plan.items) {
    planned_->addItem(QString("%1   (%2)")
                          .arg(QString::fromStdString(displayPath(item.path)))
                          .arg(byteCountText(item.size)));
  }
  clean_->setEnabled(count > 0 && !session_.isCleaning());
}

void CleaningPage::askAndClean() {
  if (lastPlan_.items.empty()) return;
  if (way() == CleaningWay::moveTo && folder_->text().isEmpty()) {
    plan_->setText("Choose the folder the copies are moved into.");
    return;
  }
  if (confirms_) {
    QStringList paths;
    for (const auto& item : lastPlan_.items)
      paths << QString::fromStdString(displayPath(item.path));
    QMessageBox box(QMessageBox::Question, "Clean the Marked Copies?", plan_->text(),
                    QMessageBox::Cancel, this);
    box.addButton("Clean", QMessageBox::AcceptRole);
    box.setDetailedText("These copies will go:\n" + paths.join("\n") +
                        (lastWarnings_.isEmpty() ? QString() : "\n\n" + lastWarnings_.join("\n")));
    if (box.exec() == QMessageBox::Cancel) return;
  }
  cleanNow();
}

void CleaningPage::cleanNow() {
  report_->clear();
  bar_->setValue(0);
  clean_->setEnabled(false);
  cancel_->setEnabled(true);
  std::set<std::int64_t> confirmed;
  for (const auto& item : lastPlan_.items) confirmed.insert(item.duplicateID);
  session_.startCleaning(way(), folder_->text(), confirmed);
}

void CleaningPage::showOutcome(const CleaningOutcome& outcome) {
  cancel_->setEnabled(false);
  bar_->setValue(1000);
  QStringList lines;
  lines << QString("Cleaning %1: %2 %3 (%4) cleaned%5.")
               .arg(outcome.cleanID)
               .arg(outcome.cleaned)
               .arg(outcome.cleaned == 1 ? "copy" : "copies")
               .arg(byteCountText(outcome.cleanedSize))
               .arg(outcome.cancelled ? ", then stopped" : "");
  if (!outcome.failures.isEmpty()) {
    lines << QString("%1 could not be cleaned:").arg(outcome.failures.size());
    for (const auto& failure : outcome.failures) lines << "  " + failure;
  }
  for (const auto& remark : outcome.remarks) lines << "  " + remark;
  report_->setPlainText(lines.join("\n"));
  refresh();
}

}  // namespace zarnik::gui
