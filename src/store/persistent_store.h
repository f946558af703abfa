// Store specifications and opened stores. A specification says which model, where (an SQLite
// file, or memory) and with which options; building it opens the store, creating, migrating or
// refusing it:
// - a missing file is created with the model's latest schema (`wasCreated()` tells a first launch);
// - a store of an older version is migrated in one transaction (all steps or none);
// - a store of a newer version, or of the other model, is refused and left untouched;
// - a file that is not a database, or whose pages are damaged, is moved aside beside itself
//   ("<name>.damaged-<time>") and a fresh store is made; `movedAsideTo()` says where it went.
//   Pages are checked when the store is opened, unless the file is as this program left it
//   when it last closed it cleanly (its state is noted beside it, "<name>-closed").
//
// A store is confined to one queue at a time: its owner serialises every use.
#pragma once

#include "base/result.h"
#include "platform/sqlite_database.h"
#include "store/managed_object_model.h"

#include <memory>
#include <optional>
#include <string>

namespace zarnik {

struct PersistentStoreOptions {
  bool migratePersistentStoresAutomatically = true;
  // Move a damaged file aside and start afresh, instead of failing.
  bool moveDamagedStoreAside = true;
};

class PersistentStore {
 public:
  PersistentStore(std::unique_ptr<SqliteDatabase> database, const ManagedObjectModel& model,
                  bool wasCreated, std::optional<std::string> movedAsideTo, bool checkedPages)
      : database_(std::move(database)),
        model_(model),
        wasCreated_(wasCreated),
        checkedPages_(checkedPages),
        movedAsideTo_(std::move(movedAsideTo)) {}

  [[nodiscard]] SqliteDatabase& database() { return *database_; }
  [[nodiscard]] const ManagedObjectModel& model() const { return model_; }
  [[nodiscard]] bool wasCreated() const { return wasCreated_; }
  // Whether its pages were checked when it was opened.
  [[nodiscard]] bool checkedPages() const { return checkedPages_; }
  [[nodiscard]] const std::optional<std::string>& movedAsideTo() const { return movedAsideTo_; }
  [[nodiscard]] bool isInMemory() const { return database_->path() == ":memory:"; }

 private:
  std::unique_ptr<SqliteDatabase> database_;
  const ManagedObjectModel& model_;
  bool wasCreated_;
  bool checkedPages_;
  std::optional<std::string> movedAsideTo_;
};

class OVPersistentStoreSpecification {
 public:
  static constexpr std::string_view kInMemoryStoreType = "InMemory";
  static constexpr std::string_view kSQLiteStoreType = "SQLite";

  static PersistentStoreOptions defaultOptions() { return {}; }
  static OVPersistentStoreSpecification ramPersistentStore(
      const ManagedObjectModel& model, PersistentStoreOptions options = defaultOptions());
  static OVPersistentStoreSpecification diskPersistentStore(
      const ManagedObjectModel& model, std::string url,
      PersistentStoreOptions options = defaultOptions());

  [[nodiscard]] const ManagedObjectModel& model() const { return *model_; }
  [[nodiscard]] std::string_view storeType() const {
    return url_ ? kSQLiteStoreType : kInMemoryStoreType;
  }
  [[nodiscard]] const std::optional<std::string>& url() const { return url_; }
  [[nodiscard]] const PersistentStoreOptions& options() const { return options_; }

  Result<std::shared_ptr<PersistentStore>> buildPersistentStore() const;
  // Deletes the store's file with its journal files; nothing to do for a store in memory.
  Result<void> removePersistentStore() const;

 private:
  OVPersistentStoreSpecification(const ManagedObjectModel& model, std::optional<std::string> url,
                                 PersistentStoreOptions options)
      : model_(&model), url_(std::move(url)), options_(options) {}
  const ManagedObjectModel* model_;
  std::optional<std::string> url_;
  PersistentStoreOptions options_;
};

// Moves a store file and its journal files aside; the new path of the store file.
Result<std::string> moveStoreAside(const std::string& path);

}  // namespace zarnik
