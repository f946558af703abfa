#include "gui/results_item_model.h"

#include "base/byte_path.h"
#include "detection/group_title.h"
#include "foundation/byte_count_formatter.h"

#include <QFileInfo>

namespace zarnik::gui {

QString kindTitle(EquivalenceKind kind) {
  const std::string_view title = groupTitle(kind);
  return QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
}

QString byteCountText(ByteCount bytes) { return QString::fromStdString(formatByteCount(bytes)); }

ResultsItemModel::ResultsItemModel(DesktopSession& session, QObject* parent)
    : QAbstractItemModel(parent), session_(session) {
  connect(&session_, &DesktopSession::resultsLoaded, this, [this] { refilter(); });
  connect(&session_, &DesktopSession::groupChanged, this, &ResultsItemModel::groupChanged);
  refilter();
}

void ResultsItemModel::setQuery(ResultsQuery query) {
  query_ = std::move(query);
  refilter();
}

void ResultsItemModel::refilter() {
  beginResetModel();
  shown_ = session_.model().filter(query_);
  endResetModel();
}

// The group's copies keep their place when only their marks changed; a change that takes copies
// in or out of the criteria shown lays the tree out anew.
void ResultsItemModel::groupChanged(qint64 identifier) {
  const FilteredResults again = session_.model().filter(query_);
  const auto sameShape = [&] {
    if (again.groups.size() != shown_.groups.size()) return false;
    for (size_t i = 0; i < again.groups.size(); ++i) {
      if (again.groups[i].group != shown_.groups[i].group ||
          again.groups[i].copies != shown_.groups[i].copies)
        return false;
    }
    return true;
  }();
  if (!sameShape) {
    refilter();
    return;
  }
  shown_ = again;
  for (size_t row = 0; row < shown_.groups.size(); ++row) {
    if (shown_.groups[row].group->identifier != identifier) continue;
    const QModelIndex group = index(static_cast<int>(row), 0);
    emit dataChanged(group, index(static_cast<int>(row), columnCount_ - 1));
    const int copies = rowCount(group);
    if (copies > 0)
      emit dataChanged(index(0, 0, group), index(copies - 1, columnCount_ - 1, group));
  }
}

QModelIndex ResultsItemModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column < 0 || column >= columnCount_) return {};
  if (!parent.isValid()) {
    if (row >= static_cast<int>(shown_.groups.size())) return {};
    return createIndex(row, column, quintptr{0});
  }
  if (parent.internalId() != 0 || row >= rowCount(parent)) return {};
  return createIndex(row, column, static_cast<quintptr>(parent.row()) + 1);
}

QModelIndex ResultsItemModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == 0) return {};
  return createIndex(static_cast<int>(child.internalId() - 1), 0, quintptr{0});
}

int ResultsItemModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return static_cast<int>(shown_.groups.size());
  if (parent.internalId() != 0 || parent.column() != 0) return 0;
  return static_cast<int>(shown_.groups[static_cast<size_t>(parent.row())].copies.size());
}

int ResultsItemModel::columnCount(const QModelIndex&) const { return columnCount_; }

const ResultsGroup* ResultsItemModel::groupAt(const QModelIndex& index) const {
  if (!index.isValid()) return nullptr;
  const size_t row = index.internalId() == 0 ? static_cast<size_t>(index.row())
                                             : static_cast<size_t>(index.internalId() - 1);
  return row < shown_.groups.size() ? shown_.groups[row].group : nullptr;
}

const ResultsCopy* ResultsItemModel::copyAt(const QModelIndex& index) const {
  if (!index.isValid() || index.internalId() == 0) return nullptr;
  const auto& group = shown_.groups[static_cast<size_t>(index.internalId() - 1)];
  const auto row = static_cast<size_t>(index.row());
  return row < group.copies.size() ? group.copies[row] : nullptr;
}

QVariant ResultsItemModel::data(const QModelIndex& index, int role) const {
  const ResultsGroup* group = groupAt(index);
  if (!group) return {};
  if (const ResultsCopy* copy = copyAt(index)) return copyData(*group, *copy, index.column(), role);
  return groupData(shown_.groups[static_cast<size_t>(index.row())], index.column(), role);
}

QVariant ResultsItemModel::groupData(const FilteredGroup& shown, int column, int role) const {
  const ResultsGroup& group = *shown.group;
  if (role == groupIdentifierRole) return QVariant::fromValue<qint64>(group.identifier);
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const auto copies = static_cast<qint64>(group.copies.size());
  switch (column) {
    case nameColumn:
      return QString("%1 · %2 %3")
          .arg(kindTitle(group.kind))
          .arg(copies)
          .arg(copies == 1 ? "copy" : "copies");
    case sizeColumn:
      return byteCountText(group.memberSize);
    case folderColumn: {
      std::int64_t marked = 0;
      for (const auto& copy : group.copies) marked += group.isSelected(copy) ? 1 : 0;
      return marked == 0 ? QString("nothing marked") : QString("%1 marked for removal").arg(marked);
    }
    default:
      return {};
  }
}

QVariant ResultsItemModel::copyData(const ResultsGroup& group, const ResultsCopy& copy, int column,
                                    int role) const {
  const QString path = QString::fromStdString(displayPath(copy.path));
  switch (role) {
    case groupIdentifierRole:
      return QVariant::fromValue<qint64>(group.identifier);
    case copyIdentifierRole:
      return QVariant::fromValue<qint64>(copy.identifier);
    case pathRole:
      return QString::fromStdString(copy.path);
    case Qt::CheckStateRole:
      if (column != nameColumn || copy.cleaned) return {};
      return group.isSelected(copy) ? Qt::Checked : Qt::Unchecked;
    case Qt::ToolTipRole:
      return path;
    case Qt::DisplayRole:
      break;
    default:
      return {};
  }
  const QFileInfo info(path);
  switch (column) {
    case nameColumn:
      return copy.cleaned ? info.fileName() + "  (cleaned)" : info.fileName();
    case sizeColumn:
      return byteCountText(copy.size);
    case folderColumn:
      return info.path();
    default:
      return {};
  }
}

QVariant ResultsItemModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case nameColumn:
      return QString("Name (checked: remove)");
    case sizeColumn:
      return QString("Size");
    case folderColumn:
      return QString("Folder");
    default:
      return {};
  }
}

Qt::ItemFlags ResultsItemModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  const ResultsCopy* copy = copyAt(index);
  if (copy && !copy->cleaned && index.column() == nameColumn) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

bool ResultsItemModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !copyAt(index)) return false;
  requestCopySelected(index, value.toInt() == Qt::Checked);
  // The box changes when the library has applied the change (groupChanged).
  return true;
}

void ResultsItemModel::requestCopySelected(const QModelIndex& index, bool selected) {
  const ResultsGroup* group = groupAt(index);
  const ResultsCopy* copy = copyAt(index);
  if (!group || !copy || copy->cleaned) return;
  session_.setCopySelected(group->identifier, copy->identifier, selected);
}

}  // namespace zarnik::gui
