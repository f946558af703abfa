// ManagedObjectContext: reads and writes the records of one "FileModel" store. Writes that
// belong together run in one transaction, so that a program killed at any moment leaves the
// store with either the old or the new state.
//
// A context is confined to one queue at a time (its owner serialises every use); records it
// hands out are plain values.
#pragma once

#include "base/result.h"
#include "store/file_model_entities.h"
#include "store/persistent_store.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zarnik {

class ManagedObjectContext {
 public:
  // Reads the store's scan locations; fails when they cannot be read.
  static Result<std::unique_ptr<ManagedObjectContext>> make(std::shared_ptr<PersistentStore> store);
  ~ManagedObjectContext();
  ManagedObjectContext(const ManagedObjectContext&) = delete;
  ManagedObjectContext& operator=(const ManagedObjectContext&) = delete;

  [[nodiscard]] PersistentStore& store() { return *store_; }

  // Runs `work` in one transaction; inside another transaction it simply runs.
  Result<void> performTransaction(const std::function<Result<void>()>& work);
  // A transaction that spans several turns of the owner's queue (a long write done in parts).
  // Every other write in between joins it.
  Result<void> beginTransaction();
  Result<void> commitTransaction();
  void rollbackTransaction();

  // The scan locations archives refer to by position; kept in the store.
  [[nodiscard]] const std::vector<ScanLocationPtr>& scanLocations() const;
  Result<void> setScanLocations(std::vector<ScanLocationPtr> locations);
  [[nodiscard]] std::shared_ptr<const ArchiveSubstitutions> substitutions() const {
    return substitutions_;
  }

  // A group as the row it is written as: every archive made. Safe to make on any thread, so
  // that a large write encodes in parallel and only inserts on the owner's queue.
  struct EncodedEquivalence {
    std::int64_t uniqueIdentifier = 0;
    bool expanded = false;
    std::optional<std::string> lastResortName;
    std::optional<std::int64_t> duplicatesMonitorState;
    std::optional<std::string> initialSelectionConfiguration;
    std::optional<std::string> currentSelectionConfiguration;
    std::string availableSelectionConfigurations;
    std::int64_t initialOriginalDuplicateID = 0;
    std::optional<std::string> privateEquivalenceInfo;
    EquivalenceKind privateEquivalenceKind = EquivalenceKind::exactHash;
    std::optional<std::string> rawSelectedDifference;
    ByteCount memberSize = 0;
    ByteCount reclaimableSize = 0;
    std::vector<ZKDuplicate> duplicates;
  };
  [[nodiscard]] static EncodedEquivalence encode(ZKEquivalence equivalence);

  // Groups with their members (the members' `equivalence` is taken from the group).
  Result<void> insertEquivalence(const ZKEquivalence& equivalence);
  Result<void> insertEquivalence(const EncodedEquivalence& equivalence);
  // Every group, its members and the selection history removed.
  Result<void> deleteAllEquivalences();
  // One group and its members removed (a group the duplicates monitor saw change).
  Result<void> deleteEquivalence(std::int64_t uniqueIdentifier);
  Result<std::int64_t> countOfEquivalences();
  // Largest reclaimable size first; `visit` returns false to stop.
  Result<void> forEachEquivalence(const std::function<bool(ZKEquivalence&)>& visit);
  // The same for the groups holding a cleaned copy: those whose records may have to outlive
  // the results (a new scan's results replace the rest unread).
  Result<void> forEachEquivalenceWithCleanedCopies(
      const std::function<bool(ZKEquivalence&)>& visit);
  Result<std::optional<ZKEquivalence>> fetchEquivalence(std::int64_t uniqueIdentifier);
  Result<std::optional<ZKEquivalence>> fetchEquivalenceOfDuplicate(
      std::int64_t duplicateIdentifier);
  // Writes what can change after a group was made: its display state and selection, and its
  // members' ignore marks and cleaning records.
  Result<void> updateEquivalence(const ZKEquivalence& equivalence);

  // The selection history, oldest first.
  Result<void> insertActivityLogItem(const ZKActivityLogItem& item);
  Result<std::vector<ZKActivityLogItem>> fetchActivityLogItems();

  // Raw-data records, each kind's in index order; records of unknown kinds too.
  Result<std::vector<ZKRawData>> fetchRawData();
  // Afterwards the kind's records are exactly `archives`, in order.
  Result<void> replaceRawData(ZKRawData::Kind kind, const std::vector<std::string>& archives);

 private:
  explicit ManagedObjectContext(std::shared_ptr<PersistentStore> store);
  struct Statements;
  Result<void> loadScanLocations();
  Result<void> fetchMembers(ZKEquivalence& equivalence);
  Result<std::optional<ZKEquivalence>> fetchOneEquivalence(SqliteStatement& statement);
  Result<void> forEachEquivalenceOf(SqliteStatement& query,
                                    const std::function<bool(ZKEquivalence&)>& visit);
  ZKEquivalence equivalenceFromRow(const SqliteStatement& row) const;
  Result<SqliteStatement*> statement(std::optional<SqliteStatement>& slot, std::string_view sql);

  std::shared_ptr<PersistentStore> store_;
  std::unique_ptr<Statements> statements_;
  std::shared_ptr<const ArchiveSubstitutions> substitutions_;
  int transactionDepth_ = 0;
};

}  // namespace zarnik
