#include "gui/scanning_page.h"

#include "gui/results_item_model.h"

#include <QFormLayout>
#include <QLocale>
#include <QVBoxLayout>

namespace zarnik::gui {

QString stageTitle(ScanningPhase phase) {
  switch (phase) {
    case ScanningPhase::initial:
      return "Starting";
    case ScanningPhase::enumerating:
      return "Listing the items in the folders";
    case ScanningPhase::matchingAndAccumulating:
      return "Comparing the contents of files";
    case ScanningPhase::differencesDetectionAndAutoselection:
      return "Choosing which copies to propose for removal";
    case ScanningPhase::finished:
      return "Finished";
  }
  return {};
}

ScanningPage::ScanningPage(QWidget* parent) : QWidget(parent) {
  stage_ = new QLabel;
  stage_->setTextFormat(Qt::RichText);
  bar_ = new QProgressBar;
  bar_->setRange(0, 1000);
  bar_->setTextVisible(false);
  listed_ = new QLabel;
  read_ = new QLabel;
  found_ = new QLabel;
  current_ = new QLabel;
  current_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  current_->setMinimumWidth(200);
  current_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  keep_ = new QCheckBox("Keep the groups found so far");
  keep_->setChecked(true);
  cancel_ = new QPushButton("Cancel Scan");
  figures_ = new QWidget;
  auto* figures = new QFormLayout(figures_);
  figures->setContentsMargins(0, 0, 0, 0);
  figures->addRow("Items listed:", listed_);
  figures->addRow("Read:", read_);
  figures->addRow("Found so far:", found_);
  figures->addRow("Now reading:", current_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(stage_);
  layout->addWidget(bar_);
  layout->addSpacing(12);
  layout->addWidget(figures_);
  layout->addStretch();
  layout->addWidget(keep_);
  layout->addWidget(cancel_, 0, Qt::AlignLeft);
  connect(cancel_, &QPushButton::clicked, this,
          [this] { emit cancelRequested(keep_->isChecked()); });
  showProgress({});
  stage_->setText(
      "<h2>No scan is running</h2>Choose the folders on the Locations page and start "
      "a scan there.");
  cancel_->setEnabled(false);
  keep_->setEnabled(false);
  bar_->hide();
  figures_->hide();
}

void ScanningPage::showStarted() {
  showProgress({});
  bar_->show();
  figures_->show();
  cancel_->setEnabled(true);
}

void ScanningPage::showProgress(const ScanProgress& progress) {
  stage_->setText("<h2>" + stageTitle(progress.phase).toHtmlEscaped() + "</h2>");
  bar_->setValue(static_cast<int>(progress.fraction * 1000));
  listed_->setText(QString("%1 (%2)")
                       .arg(QLocale().toString(static_cast<qlonglong>(progress.itemsListed)))
                       .arg(byteCountText(progress.bytesListed)));
  read_->setText(QString("%1 %2, %3")
                     .arg(QLocale().toString(static_cast<qlonglong>(progress.filesRead)))
                     .arg(progress.filesRead == 1 ? "file" : "files")
                     .arg(byteCountText(progress.bytesRead)));
  const bool done = progress.phase == ScanningPhase::finished;
  found_->setText(progress.foundSoFar > 0 ? byteCountText(progress.foundSoFar) + " could be freed"
                  : done                  ? QString("no duplicates")
                                          : QString("nothing yet"));
  current_->setText(fontMetrics().elidedText(progress.currentPath, Qt::ElideMiddle,
                                             std::max(200, current_->width())));
  keep_->setEnabled(progress.canKeepResults);
}

void ScanningPage::showFinished(const QString& error) {
  stage_->setText("<h2>" +
                  (error.isEmpty() ? stageTitle(ScanningPhase::finished)
                                   : "The scan failed: " + error.toHtmlEscaped()) +
                  "</h2>");
  bar_->setValue(1000);
  cancel_->setEnabled(false);
  keep_->setEnabled(false);
  current_->clear();
}

}  // namespace zarnik::gui
