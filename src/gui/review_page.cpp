#include "gui/review_page.h"

#include "gui/picture_tile_delegate.h"

#include "base/byte_path.h"
#include "platform/process_launcher.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QShortcut>
#include <QSplitter>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace zarnik::gui {
namespace {

constexpr int kCriterionRole = Qt::UserRole + 10;
constexpr int kThumbnailSide = 256;

const std::array<std::pair<OrderingCriterion, const char*>, 4> kOrderings = {{
    {OrderingCriterion::bySize, "Largest first"},
    {OrderingCriterion::byName, "By name"},
    {OrderingCriterion::byNumberOfDuplicates, "Most copies first"},
    {OrderingCriterion::byNumberOfSelectedDuplicates, "Most marked first"},
}};

// What a song's tags or a picture's dimensions say, one line each, for the preview.
QStringList mediaFacts(const NodeContent& content) {
  QStringList lines;
  if (const auto& audio = content.audioInfo) {
    QStringList names;
    for (const auto& name : {audio->title, audio->artist, audio->album}) {
      if (name && !name->empty()) names << QString::fromStdString(*name).toHtmlEscaped();
    }
    if (!names.isEmpty()) lines << names.join(" · ");
    QStringList sound;
    if (audio->duration > 0) {
      const std::int64_t seconds = std::llround(audio->duration);
      sound << QString("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
    }
    if (audio->bitrate && *audio->bitrate > 0) sound << QString("%1 kbit/s").arg(*audio->bitrate);
    if (!sound.isEmpty()) lines << sound.join(" · ");
  }
  if (const auto& image = content.imageInfo; image && image->size.width > 0) {
    lines << QString("%1 × %2 pixels").arg(image->size.width).arg(image->size.height);
  }
  return lines;
}

// The first names in a folder, for the preview of a duplicate folder.
QString folderContents(const QString& folder) {
  constexpr int kShown = 12;
  const QStringList names =
      QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name | QDir::DirsFirst);
  QStringList shown;
  for (const auto& name : names.mid(0, kShown)) shown << "• " + name.toHtmlEscaped();
  if (names.size() > kShown) shown << QString("and %1 more").arg(names.size() - kShown);
  return QString("%1 %2:<br>").arg(names.size()).arg(names.size() == 1 ? "item" : "items") +
         shown.join("<br>");
}

QString countedCopies(std::int64_t count) {
  return QString("%1 %2").arg(count).arg(count == 1 ? "copy" : "copies");
}

}  // namespace

QString strategyTitle(SelectionStrategy strategy) {
  switch (strategy) {
    case SelectionStrategy::automatic:
      return "Proposed by the scan";
    case SelectionStrategy::manual:
      return "Chosen by hand";
    case SelectionStrategy::none:
      return "Keep every copy";
    case SelectionStrategy::newer:
      return "Keep the oldest copy";
    case SelectionStrategy::older:
      return "Keep the newest copy";
    case SelectionStrategy::random:
      return "Keep any one copy";
  }
  return {};
}

ReviewPage::ReviewPage(DesktopSession& session, QWidget* parent)
    : QWidget(parent), session_(session), model_(new ResultsItemModel(session, this)) {
  criteria_ = new QListWidget;
  criteria_->setAccessibleName("Criteria");
  criteria_->setMinimumWidth(200);

  search_ = new QLineEdit;
  search_->setPlaceholderText("Search names and paths");
  search_->setClearButtonEnabled(true);
  ordering_ = new QComboBox;
  for (const auto& [criterion, title] : kOrderings) ordering_->addItem(title);
  undo_ = new QPushButton("Undo");
  redo_ = new QPushButton("Redo");
  auto* clean = new QPushButton("Clean…");
  gridToggle_ = new QPushButton("Grid");
  gridToggle_->setCheckable(true);
  gridToggle_->setToolTip("Show the group's copies as a grid of pictures (Ctrl+G)");
  auto* bar = new QHBoxLayout;
  bar->addWidget(search_, 1);
  bar->addWidget(ordering_);
  bar->addWidget(undo_);
  bar->addWidget(redo_);
  bar->addWidget(clean);

  tree_ = new QTreeView;
  tree_->setModel(model_);
  tree_->setUniformRowHeights(true);
  tree_->setAlternatingRowColors(true);
  tree_->setAllColumnsShowFocus(true);
  tree_->setTextElideMode(Qt::ElideMiddle);
  tree_->header()->setSectionResizeMode(ResultsItemModel::nameColumn, QHeaderView::Interactive);
  tree_->header()->resizeSection(ResultsItemModel::nameColumn, 300);
  tree_->header()->resizeSection(ResultsItemModel::sizeColumn, 90);
  tree_->installEventFilter(this);
  summary_ = new QLabel;
  // Long figures are cut rather than widening the window.
  summary_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  strategy_ = new QComboBox;
  // "Chosen by hand" names a group's state after its boxes were changed; it is not a choice.
  for (auto choice : kAllSelectionStrategies) {
    strategy_->addItem(strategyTitle(choice), static_cast<int>(choice));
    if (!isAvailableForUserChoose(choice)) {
      auto* items = qobject_cast<QStandardItemModel*>(strategy_->model());
      if (items) items->item(strategy_->count() - 1)->setEnabled(false);
    }
  }
  auto* strategyRow = new QHBoxLayout;
  strategyRow->addWidget(new QLabel("This group:"));
  strategyRow->addWidget(strategy_);
  strategyRow->addStretch();
  strategyRow->addWidget(gridToggle_);
  auto* middle = new QWidget;
  auto* middleLayout = new QVBoxLayout(middle);
  middleLayout->setContentsMargins(0, 0, 0, 0);
  middleLayout->addLayout(bar);
  middleLayout->addWidget(summary_);
  views_ = new QStackedWidget;
  views_->addWidget(tree_);
  views_->addWidget(makeGridPane());
  middleLayout->addWidget(views_, 1);
  middleLayout->addLayout(strategyRow);

  picture_ = new QLabel;
  picture_->setAlignment(Qt::AlignCenter);
  picture_->setMinimumSize(kThumbnailSide, kThumbnailSide);
  picture_->setFrameShape(QFrame::StyledPanel);
  facts_ = new QLabel;
  facts_->setWordWrap(true);
  facts_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  facts_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  warnings_ = new QLabel;
  warnings_->setWordWrap(true);
  openFolder_ = new QPushButton("Open in File Manager");
  auto* preview = new QWidget;
  auto* previewLayout = new QVBoxLayout(preview);
  previewLayout->setContentsMargins(0, 0, 0, 0);
  previewLayout->addWidget(picture_);
  previewLayout->addWidget(facts_);
  previewLayout->addWidget(warnings_);
  previewLayout->addStretch();
  previewLayout->addWidget(openFolder_);
  preview->setMinimumWidth(kThumbnailSide + 20);

  auto* splitter = new QSplitter;
  splitter->addWidget(criteria_);
  splitter->addWidget(middle);
  splitter->addWidget(preview);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({240, 700, 300});
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(splitter);

  connect(criteria_, &QListWidget::currentRowChanged, this, [this] { applyQuery(); });
  connect(search_, &QLineEdit::textChanged, this, [this] { applyQuery(); });
  connect(ordering_, &QComboBox::currentIndexChanged, this, [this] { applyQuery(); });
  connect(strategy_, &QComboBox::activated, this, &ReviewPage::chooseStrategyForCurrent);
  connect(undo_, &QPushButton::clicked, &session_, &DesktopSession::undo);
  connect(redo_, &QPushButton::clicked, &session_, &DesktopSession::redo);
  connect(clean, &QPushButton::clicked, this, &ReviewPage::cleanRequested);
  connect(openFolder_, &QPushButton::clicked, this, &ReviewPage::openFolderOfCurrent);
  new QShortcut(QKeySequence::Undo, this, [this] { session_.undo(); });
  new QShortcut(QKeySequence::Redo, this, [this] { session_.redo(); });
  new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this, [this] { gridToggle_->toggle(); });
  connect(gridToggle_, &QPushButton::toggled, this, &ReviewPage::setGridShown);
  connect(&session_, &DesktopSession::resultsLoaded, this, [this] {
    fillCriteria();
    updateSummary();
  });
  connect(&session_, &DesktopSession::groupChanged, this, [this] {
    fillCriteria();
    updateSummary();
    showPreview();
  });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    expandFirstGroups();
    updateSummary();
    if (isGridShown()) followCurrentGroup();
  });
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
    showPreview();
    if (isGridShown()) followCurrentGroup();
  });
  connect(&thumbnails_, &ThumbnailCache::ready, this, [this](const QString& path, std::int64_t) {
    if (path == previewPath_) showPreview();
  });
  fillCriteria();
  showPreview();
}

QWidget* ReviewPage::makeGridPane() {
  gridModel_ = new PictureGridModel(*model_, thumbnails_, this);
  grid_ = new QListView;
  grid_->setAccessibleName("Pictures of the group");
  grid_->setModel(gridModel_);
  grid_->setViewMode(QListView::IconMode);
  grid_->setIconSize(QSize(PictureGridModel::kTileSide, PictureGridModel::kTileSide));
  grid_->setItemDelegate(new PictureTileDelegate(grid_));
  grid_->setGridSize(QSize(PictureGridModel::kTileSide + 32,
                           PictureGridModel::kTileSide + 24 + 3 * fontMetrics().height()));
  grid_->setResizeMode(QListView::Adjust);
  grid_->setMovement(QListView::Static);
  grid_->setWordWrap(true);
  grid_->setTextElideMode(Qt::ElideMiddle);
  grid_->setUniformItemSizes(true);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->installEventFilter(this);
  connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            const QModelIndex source = gridModel_->mapToSource(current);
            if (source.isValid() && source != tree_->currentIndex().siblingAtColumn(0))
              tree_->setCurrentIndex(source);
          });
  gridTitle_ = new QLabel;
  gridTitle_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  previousGroup_ = new QPushButton("Previous Group");
  previousGroup_->setToolTip("Page Up");
  nextGroup_ = new QPushButton("Next Group");
  nextGroup_->setToolTip("Page Down");
  connect(previousGroup_, &QPushButton::clicked, this, [this] { showGroupBeside(-1); });
  connect(nextGroup_, &QPushButton::clicked, this, [this] { showGroupBeside(1); });
  auto* row = new QHBoxLayout;
  row->addWidget(previousGroup_);
  row->addWidget(gridTitle_, 1);
  row->addWidget(nextGroup_);
  auto* pane = new QWidget;
  auto* layout = new QVBoxLayout(pane);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(row);
  layout->addWidget(grid_, 1);
  return pane;
}

bool ReviewPage::isGridShown() const { return views_->currentWidget() != tree_; }

void ReviewPage::setGridShown(bool shown) {
  {
    QSignalBlocker blocker(gridToggle_);
    gridToggle_->setChecked(shown);
  }
  views_->setCurrentIndex(shown ? 1 : 0);
  if (shown && !model_->copyAt(tree_->currentIndex())) showGroupBeside(0);
  if (shown) followCurrentGroup();
  (shown ? static_cast<QWidget*>(grid_) : tree_)->setFocus();
}

// The grid shows the group of the list's current row, and its current tile is that row's copy.
void ReviewPage::followCurrentGroup() {
  const QModelIndex current = tree_->currentIndex().siblingAtColumn(0);
  QModelIndex group = current.parent().isValid() ? current.parent() : current;
  if (!group.isValid()) group = model_->index(0, 0);
  const QModelIndex root = gridModel_->mapFromSource(group);
  if (grid_->rootIndex() != root) grid_->setRootIndex(root);
  if (model_->copyAt(current)) {
    const QModelIndex tile = gridModel_->mapFromSource(current);
    if (grid_->currentIndex() != tile) grid_->setCurrentIndex(tile);
  }
  const int groups = model_->rowCount();
  previousGroup_->setEnabled(group.isValid() && group.row() > 0);
  nextGroup_->setEnabled(group.isValid() && group.row() + 1 < groups);
  const ResultsGroup* shown = model_->groupAt(group);
  gridTitle_->setText(shown ? QString("Group %1 of %2 · %3 · %4 · %5 each")
                                  .arg(group.row() + 1)
                                  .arg(groups)
                                  .arg(kindTitle(shown->kind))
                                  .arg(countedCopies(model_->rowCount(group)))
                                  .arg(byteCountText(shown->memberSize))
                            : QString("No groups to show"));
}

void ReviewPage::showGroupBeside(int step) {
  const QModelIndex current = tree_->currentIndex().siblingAtColumn(0);
  const QModelIndex group = current.parent().isValid() ? current.parent() : current;
  const int row =
      std::clamp(group.isValid() ? group.row() + step : 0, 0, std::max(0, model_->rowCount() - 1));
  const QModelIndex first = model_->index(0, 0, model_->index(row, 0));
  if (first.isValid()) tree_->setCurrentIndex(first);
}

// The sidebar lists the criteria with a copy under them, keeping the one chosen.
void ReviewPage::fillCriteria() {
  const QVariant chosen =
      criteria_->currentItem() ? criteria_->currentItem()->data(kCriterionRole) : QVariant();
  QSignalBlocker blocker(criteria_);
  criteria_->clear();
  for (const auto& figures : session_.model().meaningfulFigures()) {
    // As the groups' rows say it: "0 bytes marked" read as if something were.
    const QString marked = figures.selected.count == 0
                               ? QString("nothing marked")
                               : QString("%1 marked").arg(byteCountText(figures.selected.size));
    auto* item = new QListWidgetItem(
        QString("%1\n%2, %3 · %4")
            .arg(QString::fromUtf8(title(figures.criterion).data(),
                                   static_cast<int>(title(figures.criterion).size())))
            .arg(countedCopies(figures.total.count))
            .arg(byteCountText(figures.total.size))
            .arg(marked));
    item->setData(kCriterionRole, static_cast<int>(figures.criterion));
    criteria_->addItem(item);
    if (item->data(kCriterionRole) == chosen) criteria_->setCurrentItem(item);
  }
  if (!criteria_->currentItem() && criteria_->count() > 0) criteria_->setCurrentRow(0);
}

// Opening every group of a large result would hold the window up; the first ones are opened, the
// others open when asked.
void ReviewPage::expandFirstGroups() {
  constexpr int kOpenedGroups = 200;
  const int groups = std::min(model_->rowCount(), kOpenedGroups);
  for (int row = 0; row < groups; ++row) tree_->expand(model_->index(row, 0));
}

void ReviewPage::applyQuery() {
  ResultsQuery query;
  if (auto* item = criteria_->currentItem())
    query.criteria = {static_cast<FilteringCriterion>(item->data(kCriterionRole).toInt())};
  query.search = search_->text().toStdString();
  query.groupOrdering = Ordering::natural(
      kOrderings[static_cast<size_t>(std::max(0, ordering_->currentIndex()))].first);
  if (supportsDuplicatesOrdering(query.groupOrdering.criterion))
    query.copyOrdering = query.groupOrdering;
  model_->setQuery(std::move(query));
}

void ReviewPage::updateSummary() {
  const auto& shown = model_->shown();
  summary_->setText(QString("%1 %2 · %3 shown · %4 marked for removal")
                        .arg(shown.matchingGroups)
                        .arg(shown.matchingGroups == 1 ? "group" : "groups")
                        .arg(countedCopies(shown.filtered.count))
                        .arg(byteCountText(shown.selected.size)));
}

void ReviewPage::showFirstCopy() {
  const QModelIndex first = model_->index(0, 0, model_->index(0, 0));
  if (!first.isValid()) return;
  tree_->setCurrentIndex(first);
  (isGridShown() ? static_cast<QWidget*>(grid_) : tree_)->setFocus();
}

void ReviewPage::showPreview() {
  const QModelIndex current = tree_->currentIndex();
  const ResultsGroup* group = model_->groupAt(current);
  const ResultsCopy* copy = model_->copyAt(current);
  strategy_->setEnabled(group != nullptr);
  if (group) {
    const int at = strategy_->findData(static_cast<int>(group->selection.strategy));
    strategy_->setCurrentIndex(at);
  }
  openFolder_->setEnabled(copy != nullptr);
  if (!copy) {
    previewPath_.clear();
    picture_->setPixmap({});
    picture_->setText(group ? kindTitle(group->kind) : QString("Choose a copy to see it here"));
    facts_->setText(group ? QString("%1 · %2 each")
                                .arg(countedCopies(static_cast<std::int64_t>(group->copies.size())),
                                     byteCountText(group->memberSize))
                          : QString());
    warnings_->clear();
    return;
  }
  previewPath_ = QString::fromStdString(copy->path);
  const QFileInfo info(QString::fromStdString(displayPath(copy->path)));
  QStringList facts{"<b>" + info.fileName().toHtmlEscaped() + "</b>", info.path().toHtmlEscaped(),
                    byteCountText(copy->size)};
  if (info.exists())
    facts << "Modified " + QLocale().toString(info.lastModified(), QLocale::ShortFormat);
  else
    facts << (copy->cleaned ? QString("Cleaned") : QString("No longer there"));
  if (info.isDir()) facts << folderContents(info.filePath());
  const ZKEquivalence* stored = session_.storedGroup(group->identifier);
  if (stored) {
    for (const auto& duplicate : stored->duplicates) {
      if (duplicate.identifier != copy->identifier) continue;
      if (const auto node = duplicate.node()) facts << mediaFacts(node->content());
    }
  }
  facts << (group->isSelected(*copy) ? QString("<b>Marked for removal</b>") : QString("Kept"));
  facts_->setText(facts.join("<br>"));
  QStringList warnings;
  if (stored) {
    for (const auto& duplicate : stored->duplicates) {
      if (duplicate.identifier != copy->identifier) continue;
      const auto differences = duplicate.differences();
      for (auto warning : checkSelection(differences, false).warnings)
        warnings << QString::fromUtf8(description(warning).data(),
                                      static_cast<int>(description(warning).size()));
      if (auto link = differences.hardlinkedGroupID())
        warnings << QString("A hard link of the other copies (link group %1)").arg(*link);
    }
  }
  warnings_->setText(warnings.isEmpty() ? QString() : "⚠ " + warnings.join("\n⚠ "));
  const QImage image = info.isDir() ? QImage() : thumbnails_.thumbnail(previewPath_, copy->size);
  if (!image.isNull()) {
    picture_->setPixmap(QPixmap::fromImage(image.scaled(
        kThumbnailSide, kThumbnailSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  } else {
    picture_->setPixmap({});
    picture_->setText(info.isDir()              ? QString("Folder")
                      : info.suffix().isEmpty() ? QString("File")
                                                : info.suffix().toUpper() + " file");
  }
}

QString ReviewPage::previewFacts() const { return facts_->text(); }

void ReviewPage::openFolderOfCurrent() {
  const ResultsCopy* copy = model_->copyAt(tree_->currentIndex());
  if (!copy) return;
  const QString folder = QFileInfo(QString::fromStdString(displayPath(copy->path))).path();
  if (auto launched = launchDetached({"xdg-open", folder.toStdString()}); launched.hasError())
    emit session_.failed(QString::fromStdString(launched.error().oneLine()));
}

void ReviewPage::chooseStrategyForCurrent(int comboIndex) {
  const ResultsGroup* group = model_->groupAt(tree_->currentIndex());
  if (!group || comboIndex < 0) return;
  session_.chooseStrategy(group->identifier,
                          static_cast<SelectionStrategy>(strategy_->itemData(comboIndex).toInt()));
}

void ReviewPage::toggleCurrent(const QModelIndex& current, bool remove) {
  const ResultsCopy* copy = model_->copyAt(current);
  const ResultsGroup* group = model_->groupAt(current);
  if (copy && group) model_->requestCopySelected(current, remove || !group->isSelected(*copy));
}

// The list and the grid take the same keys: Space toggles, Delete marks for removal; in the grid
// Page Up and Page Down go to the group before or after.
bool ReviewPage::eventFilter(QObject* watched, QEvent* event) {
  if ((watched != tree_ && watched != grid_) ||
      (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease))
    return QWidget::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  const bool paging =
      watched == grid_ && (key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown);
  if (key->key() != Qt::Key_Space && key->key() != Qt::Key_Delete && !paging)
    return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::KeyPress) {
    if (paging) {
      showGroupBeside(key->key() == Qt::Key_PageUp ? -1 : 1);
      return true;
    }
    const QModelIndex current =
        watched == grid_ ? gridModel_->mapToSource(grid_->currentIndex())
                         : tree_->currentIndex().siblingAtColumn(ResultsItemModel::nameColumn);
    toggleCurrent(current, key->key() == Qt::Key_Delete);
  }
  return true;  // the view's own handling of the key would toggle the box a second time
}

}  // namespace zarnik::gui
