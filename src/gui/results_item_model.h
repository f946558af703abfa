// ResultsItemModel: the review's tree of groups and their copies, a view of the session's
// ResultsModel through one query (criteria, search, ordering). A copy's check box says whether it
// is marked for removal; checking it asks the session to change the stored selection, and the
// box follows once the library has applied the change.
#pragma once

#include "gui/desktop_session.h"

#include "detection/results_model.h"

#include <QAbstractItemModel>

namespace zarnik::gui {

class ResultsItemModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  enum Column { nameColumn = 0, sizeColumn, folderColumn, columnCount_ };
  static constexpr int groupIdentifierRole = Qt::UserRole + 1;
  static constexpr int copyIdentifierRole = Qt::UserRole + 2;
  static constexpr int pathRole = Qt::UserRole + 3;

  explicit ResultsItemModel(DesktopSession& session, QObject* parent = nullptr);

  void setQuery(ResultsQuery query);
  [[nodiscard]] const ResultsQuery& query() const { return query_; }
  [[nodiscard]] const FilteredResults& shown() const { return shown_; }

  [[nodiscard]] QModelIndex index(int row, int column,
                                  const QModelIndex& parent = {}) const override;
  [[nodiscard]] QModelIndex parent(const QModelIndex& child) const override;
  [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
  [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                    int role) const override;
  [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // The copy at `index`, with its group; nothing for a group row.
  [[nodiscard]] const ResultsCopy* copyAt(const QModelIndex& index) const;
  [[nodiscard]] const ResultsGroup* groupAt(const QModelIndex& index) const;
  // Asks the session to mark the copy for removal, or to keep it.
  void requestCopySelected(const QModelIndex& index, bool selected);

 private:
  void refilter();
  void groupChanged(qint64 group);
  [[nodiscard]] QVariant groupData(const FilteredGroup& group, int column, int role) const;
  [[nodiscard]] QVariant copyData(const ResultsGroup& group, const ResultsCopy& copy, int column,
                                  int role) const;

  DesktopSession& session_;
  ResultsQuery query_;
  FilteredResults shown_;
};

// "Exact duplicates", "Similar images"... for a group's kind.
[[nodiscard]] QString kindTitle(EquivalenceKind kind);
// "1.2 MB".
[[nodiscard]] QString byteCountText(ByteCount bytes);

}  // namespace zarnik::gui
