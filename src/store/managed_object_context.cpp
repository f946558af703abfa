#include "store/managed_object_context.h"

#include "foundation/logger.h"
#include "store/equivalence_rows.h"
#include "store/results_fingerprint.h"

namespace zarnik {
namespace {

constexpr std::string_view kSelectionConfigurationClass = "SelectionConfiguration";
constexpr std::string_view kSelectionConfigurationsClass = "SelectionConfigurations";

using equivalence_rows::kDuplicateColumns;
using equivalence_rows::kEquivalenceColumns;

// Binds a row's values to a statement's parameters in order.
class StatementRow {
 public:
  explicit StatementRow(SqliteStatement& statement) : statement_(statement) {}
  void integer(std::int64_t value) { statement_.bind(next_++, value); }
  void text(std::string_view value) { statement_.bind(next_++, value); }
  void blob(std::string_view value) { statement_.bindBlob(next_++, value); }
  void null() { statement_.bindNull(next_++); }

 private:
  SqliteStatement& statement_;
  int next_ = 1;
};

std::string select(std::string_view columns, std::string_view rest) {
  return std::string("SELECT ").append(columns).append(" ").append(rest);
}

std::optional<std::int64_t> optionalInteger(const SqliteStatement& row, int column) {
  if (row.isNull(column)) return std::nullopt;
  return row.integer(column);
}

SqliteStatement& bindOptional(SqliteStatement& statement, int index,
                              const std::optional<std::int64_t>& value) {
  return value ? statement.bind(index, *value) : statement.bindNull(index);
}

std::optional<std::string> archivedConfiguration(
    const std::optional<SelectionConfiguration>& configuration) {
  if (!configuration) return std::nullopt;
  return archivedText(kSelectionConfigurationClass, configuration->encode());
}

std::optional<SelectionConfiguration> unarchivedConfiguration(
    const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  auto value = unarchivedValue(*text, kSelectionConfigurationClass);
  return value ? SelectionConfiguration::decode(*value) : std::nullopt;
}

std::string archivedConfigurations(const std::vector<SelectionConfiguration>& configurations) {
  Json list = Json::array();
  for (const auto& configuration : configurations) list.push_back(configuration.encode());
  return archivedText(kSelectionConfigurationsClass, list);
}

std::vector<SelectionConfiguration> unarchivedConfigurations(
    const std::optional<std::string>& text) {
  std::vector<SelectionConfiguration> configurations;
  auto value = text ? unarchivedValue(*text, kSelectionConfigurationsClass) : std::nullopt;
  if (!value || !value->is_array()) return configurations;
  for (const auto& item : *value) {
    if (auto configuration = SelectionConfiguration::decode(item))
      configurations.push_back(std::move(*configuration));
  }
  return configurations;
}

std::string archivedIdentifiers(const std::vector<std::int64_t>& identifiers) {
  return archivedText("Identifiers", Json(identifiers));
}

std::vector<std::int64_t> unarchivedIdentifiers(const std::optional<std::string>& text) {
  std::vector<std::int64_t> identifiers;
  auto value = text ? unarchivedValue(*text, "Identifiers") : std::nullopt;
  if (!value || !value->is_array()) return identifiers;
  for (const auto& item : *value) {
    if (item.is_number_integer()) identifiers.push_back(item.get<std::int64_t>());
  }
  return identifiers;
}

}  // namespace

struct ManagedObjectContext::Statements {
  std::optional<SqliteStatement> insertEquivalence;
  std::optional<SqliteStatement> insertDuplicate;
  std::optional<SqliteStatement> membersOfEquivalence;
  std::optional<SqliteStatement> allEquivalences;
  std::optional<SqliteStatement> equivalencesWithCleanedCopies;
  std::optional<SqliteStatement> equivalenceByID;
  std::optional<SqliteStatement> equivalenceOfDuplicate;
  std::optional<SqliteStatement> updateEquivalence;
  std::optional<SqliteStatement> updateDuplicate;
};

ManagedObjectContext::ManagedObjectContext(std::shared_ptr<PersistentStore> store)
    : store_(std::move(store)),
      statements_(std::make_unique<Statements>()),
      substitutions_(std::make_shared<ArchiveSubstitutions>()) {}

ManagedObjectContext::~ManagedObjectContext() = default;

Result<std::unique_ptr<ManagedObjectContext>> ManagedObjectContext::make(
    std::shared_ptr<PersistentStore> store) {
  std::unique_ptr<ManagedObjectContext> context(new ManagedObjectContext(std::move(store)));
  ZK_TRY(context->loadScanLocations());
  return context;
}

Result<SqliteStatement*> ManagedObjectContext::statement(std::optional<SqliteStatement>& slot,
                                                         std::string_view sql) {
  if (!slot) {
    ZK_ASSIGN_OR_RETURN(auto prepared, store_->database().prepare(sql));
    slot.emplace(std::move(prepared));
  }
  slot->reset();
  return &*slot;
}

Result<void> ManagedObjectContext::performTransaction(const std::function<Result<void>()>& work) {
  ZK_TRY(beginTransaction());
  auto result = work();
  if (result.hasError()) {
    rollbackTransaction();
    return result;
  }
  return commitTransaction();
}

Result<void> ManagedObjectContext::beginTransaction() {
  if (transactionDepth_ == 0) ZK_TRY(store_->database().execute("BEGIN IMMEDIATE"));
  ++transactionDepth_;
  return success();
}

Result<void> ManagedObjectContext::commitTransaction() {
  if (transactionDepth_ == 0) return Error::generic("No transaction to commit.");
  if (transactionDepth_ > 1) {
    --transactionDepth_;
    return success();
  }
  auto committed = store_->database().execute("COMMIT");
  if (committed.hasError()) {
    rollbackTransaction();
    return committed;
  }
  transactionDepth_ = 0;
  return success();
}

// A failure anywhere inside ends the outermost transaction: what it wrote is undone as a whole.
void ManagedObjectContext::rollbackTransaction() {
  if (transactionDepth_ == 0) return;
  transactionDepth_ = 0;
  (void)store_->database().execute("ROLLBACK");
}

// --- scan locations

const std::vector<ScanLocationPtr>& ManagedObjectContext::scanLocations() const {
  return substitutions_->scanLocations();
}

Result<void> ManagedObjectContext::loadScanLocations() {
  ZK_ASSIGN_OR_RETURN(auto query, store_->database().prepare(
                                      "SELECT value FROM ZMETADATA WHERE key = 'scanLocations'"));
  ZK_ASSIGN_OR_RETURN(const bool row, query.step());
  std::vector<ScanLocationPtr> locations;
  auto list = row ? unarchivedValue(query.text(0), "ScanLocations") : std::nullopt;
  if (list && list->is_array()) {
    for (const auto& archive : *list) {
      auto location = ScanLocation::decode(archive);
      // A location that cannot be read keeps its place: archives refer to locations by position.
      locations.push_back(location.hasValue() ? location.value() : nullptr);
    }
  }
  substitutions_ = std::make_shared<ArchiveSubstitutions>(
      std::move(locations), std::vector<std::shared_ptr<const ZKBaseNode>>{});
  return success();
}

Result<void> ManagedObjectContext::setScanLocations(std::vector<ScanLocationPtr> locations) {
  ZK_ASSIGN_OR_RETURN(
      auto write, store_->database().prepare(
                      "INSERT OR REPLACE INTO ZMETADATA (key, value) VALUES ('scanLocations', ?)"));
  ZK_TRY(write.bind(1, archivedScanLocations(locations)).run());
  substitutions_ = std::make_shared<ArchiveSubstitutions>(
      std::move(locations), std::vector<std::shared_ptr<const ZKBaseNode>>{});
  return success();
}

// --- groups

ManagedObjectContext::EncodedEquivalence ManagedObjectContext::encode(ZKEquivalence equivalence) {
  EncodedEquivalence encoded;
  encoded.uniqueIdentifier = equivalence.uniqueIdentifier;
  encoded.expanded = equivalence.expanded;
  encoded.lastResortName = equivalence.lastResortName;
  encoded.duplicatesMonitorState = equivalence.duplicatesMonitorState;
  encoded.initialSelectionConfiguration =
      archivedConfiguration(equivalence.initialSelectionConfiguration);
  encoded.currentSelectionConfiguration =
      archivedConfiguration(equivalence.currentSelectionConfiguration);
  encoded.availableSelectionConfigurations =
      archivedConfigurations(equivalence.availableSelectionConfigurations);
  encoded.initialOriginalDuplicateID = equivalence.initialOriginalDuplicateID;
  encoded.privateEquivalenceInfo = equivalence.privateEquivalenceInfo;
  encoded.privateEquivalenceKind = equivalence.privateEquivalenceKind;
  encoded.rawSelectedDifference = equivalence.rawSelectedDifference;
  encoded.memberSize = equivalence.memberSize;
  encoded.reclaimableSize = equivalence.reclaimableSize;
  encoded.duplicates = std::move(equivalence.duplicates);
  return encoded;
}

Result<void> ManagedObjectContext::insertEquivalence(const ZKEquivalence& equivalence) {
  return insertEquivalence(encode(equivalence));
}

Result<void> ManagedObjectContext::insertEquivalence(const EncodedEquivalence& equivalence) {
  ZK_ASSIGN_OR_RETURN(SqliteStatement * group,
                      statement(statements_->insertEquivalence,
                                "INSERT INTO ZKEquivalence (" + std::string(kEquivalenceColumns) +
                                    ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
  StatementRow groupRow(*group);
  equivalence_rows::putEquivalence(groupRow, equivalence);
  ZK_TRY(group->run());

  ZK_ASSIGN_OR_RETURN(SqliteStatement * member,
                      statement(statements_->insertDuplicate,
                                "INSERT INTO ZKDuplicate (" + std::string(kDuplicateColumns) +
                                    ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
  for (const auto& duplicate : equivalence.duplicates) {
    StatementRow memberRow(*member);
    equivalence_rows::putDuplicate(memberRow, equivalence, duplicate);
    ZK_TRY(member->run());
  }
  return success();
}

Result<void> ManagedObjectContext::deleteAllEquivalences() {
  return performTransaction([&]() -> Result<void> {
    ZK_TRY(store_->database().execute("DELETE FROM ZKDuplicate"));
    ZK_TRY(store_->database().execute("DELETE FROM ZKEquivalence"));
    return store_->database().execute("DELETE FROM ZKActivityLogItem");
  });
}

Result<void> ManagedObjectContext::deleteEquivalence(std::int64_t uniqueIdentifier) {
  return performTransaction([&]() -> Result<void> {
    ZK_ASSIGN_OR_RETURN(
        auto members, store_->database().prepare("DELETE FROM ZKDuplicate WHERE equivalence = ?"));
    ZK_TRY(members.bind(1, uniqueIdentifier).run());
    ZK_ASSIGN_OR_RETURN(auto group, store_->database().prepare(
                                        "DELETE FROM ZKEquivalence WHERE uniqueIdentifier = ?"));
    return group.bind(1, uniqueIdentifier).run();
  });
}

Result<std::int64_t> ManagedObjectContext::countOfEquivalences() {
  ZK_ASSIGN_OR_RETURN(auto query, store_->database().prepare("SELECT count(*) FROM ZKEquivalence"));
  ZK_ASSIGN_OR_RETURN(const bool row, query.step());
  return row ? query.integer(0) : 0;
}

ZKEquivalence ManagedObjectContext::equivalenceFromRow(const SqliteStatement& row) const {
  ZKEquivalence equivalence;
  equivalence.uniqueIdentifier = row.integer(0);
  equivalence.expanded = row.integer(1) != 0;
  equivalence.lastResortName = row.optionalText(2);
  equivalence.duplicatesMonitorState = optionalInteger(row, 3);
  equivalence.initialSelectionConfiguration = unarchivedConfiguration(row.optionalText(4));
  equivalence.currentSelectionConfiguration = unarchivedConfiguration(row.optionalText(5));
  equivalence.availableSelectionConfigurations = unarchivedConfigurations(row.optionalText(6));
  equivalence.initialOriginalDuplicateID = row.integer(7);
  equivalence.privateEquivalenceInfo = row.optionalText(8);
  if (auto kind = equivalenceKindFromRawValue(row.text(9)))
    equivalence.privateEquivalenceKind = *kind;
  equivalence.rawSelectedDifference = row.optionalText(10);
  equivalence.memberSize = row.integer(11);
  equivalence.reclaimableSize = row.integer(12);
  return equivalence;
}

Result<void> ManagedObjectContext::fetchMembers(ZKEquivalence& equivalence) {
  ZK_ASSIGN_OR_RETURN(
      SqliteStatement * query,
      statement(statements_->membersOfEquivalence,
                select(kDuplicateColumns, "FROM ZKDuplicate WHERE equivalence = ? ORDER BY Z_PK")));
  query->bind(1, equivalence.uniqueIdentifier);
  while (true) {
    ZK_ASSIGN_OR_RETURN(const bool row, query->step());
    if (!row) break;
    ZKDuplicate duplicate;
    duplicate.identifier = query->integer(0);
    duplicate.equivalence = query->integer(1);
    duplicate.recentDuplicate = optionalInteger(*query, 2);
    duplicate.nodeData = query->text(3);
    duplicate.cleaningNoteData = query->optionalText(4);
    duplicate.privateEquivalenceInfo = query->optionalText(5);
    if (auto raw = query->optionalText(6))
      duplicate.privateEquivalenceKind = equivalenceKindFromRawValue(*raw);
    duplicate.cleanID = optionalInteger(*query, 7);
    duplicate.ignored = query->integer(8) != 0;
    duplicate.differencesData = query->optionalText(9);
    duplicate.substitutions = substitutions_;
    equivalence.duplicates.push_back(std::move(duplicate));
  }
  query->reset();
  return success();
}

Result<void> ManagedObjectContext::forEachEquivalence(
    const std::function<bool(ZKEquivalence&)>& visit) {
  ZK_ASSIGN_OR_RETURN(
      SqliteStatement * query,
      statement(statements_->allEquivalences,
                select(kEquivalenceColumns,
                       "FROM ZKEquivalence ORDER BY reclaimableSize DESC, uniqueIdentifier")));
  return forEachEquivalenceOf(*query, visit);
}

Result<void> ManagedObjectContext::forEachEquivalenceWithCleanedCopies(
    const std::function<bool(ZKEquivalence&)>& visit) {
  ZK_ASSIGN_OR_RETURN(
      SqliteStatement * query,
      statement(statements_->equivalencesWithCleanedCopies,
                select(kEquivalenceColumns,
                       "FROM ZKEquivalence WHERE uniqueIdentifier IN (SELECT equivalence FROM "
                       "ZKDuplicate WHERE cleanID IS NOT NULL) "
                       "ORDER BY reclaimableSize DESC, uniqueIdentifier")));
  return forEachEquivalenceOf(*query, visit);
}

Result<void> ManagedObjectContext::forEachEquivalenceOf(
    SqliteStatement& query, const std::function<bool(ZKEquivalence&)>& visit) {
  while (true) {
    ZK_ASSIGN_OR_RETURN(const bool row, query.step());
    if (!row) break;
    ZKEquivalence equivalence = equivalenceFromRow(query);
    ZK_TRY(fetchMembers(equivalence));
    if (!visit(equivalence)) break;
  }
  query.reset();
  return success();
}

Result<std::optional<ZKEquivalence>> ManagedObjectContext::fetchOneEquivalence(
    SqliteStatement& query) {
  ZK_ASSIGN_OR_RETURN(const bool row, query.step());
  if (!row) return std::optional<ZKEquivalence>();
  ZKEquivalence equivalence = equivalenceFromRow(query);
  query.reset();
  ZK_TRY(fetchMembers(equivalence));
  return std::optional<ZKEquivalence>(std::move(equivalence));
}

Result<std::optional<ZKEquivalence>> ManagedObjectContext::fetchEquivalence(
    std::int64_t uniqueIdentifier) {
  ZK_ASSIGN_OR_RETURN(
      SqliteStatement * query,
      statement(statements_->equivalenceByID,
                select(kEquivalenceColumns, "FROM ZKEquivalence WHERE uniqueIdentifier = ?")));
  query->bind(1, uniqueIdentifier);
  return fetchOneEquivalence(*query);
}

Result<std::optional<ZKEquivalence>> ManagedObjectContext::fetchEquivalenceOfDuplicate(
    std::int64_t duplicateIdentifier) {
  ZK_ASSIGN_OR_RETURN(
      SqliteStatement * query,
      statement(statements_->equivalenceOfDuplicate,
                select(kEquivalenceColumns,
                       "FROM ZKEquivalence WHERE uniqueIdentifier = "
                       "(SELECT equivalence FROM ZKDuplicate WHERE identifier = ? LIMIT 1)")));
  query->bind(1, duplicateIdentifier);
  return fetchOneEquivalence(*query);
}

Result<void> ManagedObjectContext::updateEquivalence(const ZKEquivalence& equivalence) {
  return performTransaction([&]() -> Result<void> {
    ZK_ASSIGN_OR_RETURN(SqliteStatement * group,
                        statement(statements_->updateEquivalence,
                                  "UPDATE ZKEquivalence SET expanded = ?, lastResortName = ?, "
                                  "currentSelectionConfiguration = ?, rawSelectedDifference = ? "
                                  "WHERE uniqueIdentifier = ?"));
    group->bind(1, std::int64_t{equivalence.expanded}).bind(2, equivalence.lastResortName);
    group->bind(3, archivedConfiguration(equivalence.currentSelectionConfiguration));
    group->bind(4, equivalence.rawSelectedDifference).bind(5, equivalence.uniqueIdentifier);
    ZK_TRY(group->run());
    ZK_ASSIGN_OR_RETURN(
        SqliteStatement * member,
        statement(
            statements_->updateDuplicate,
            "UPDATE ZKDuplicate SET ignored = ?, cleanID = ?, cleaningNoteData = ?, nodeData = ? "
            "WHERE identifier = ? AND equivalence = ?"));
    for (const auto& duplicate : equivalence.duplicates) {
      member->bind(1, std::int64_t{duplicate.ignored});
      bindOptional(*member, 2, duplicate.cleanID);
      if (duplicate.cleaningNoteData) {
        member->bindBlob(3, *duplicate.cleaningNoteData);
      } else {
        member->bindNull(3);
      }
      // A copy moved back as a new file is stored with its new identity.
      member->bindBlob(4, duplicate.nodeData);
      member->bind(5, duplicate.identifier).bind(6, equivalence.uniqueIdentifier);
      ZK_TRY(member->run());
    }
    return success();
  });
}

// --- selection history

Result<void> ManagedObjectContext::insertActivityLogItem(const ZKActivityLogItem& item) {
  ZK_ASSIGN_OR_RETURN(
      auto insert,
      store_->database().prepare("INSERT INTO ZKActivityLogItem (uniqueIdentifier, date, "
                                 "currentSelectionConfiguration, previousSelectionConfiguration, "
                                 "equivalenceIdentifier, equivalences, rawInteractionType) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?)"));
  insert.bind(1, item.uniqueIdentifier);
  insert.bind(2, static_cast<std::int64_t>(item.date.time_since_epoch().count()));
  insert.bind(
      3, archivedText(kSelectionConfigurationClass, item.currentSelectionConfiguration.encode()));
  insert.bind(
      4, archivedText(kSelectionConfigurationClass, item.previousSelectionConfiguration.encode()));
  insert.bind(5, item.equivalenceIdentifier).bind(6, archivedIdentifiers(item.equivalences));
  insert.bind(7, rawValue(item.interactionType));
  return insert.run();
}

Result<std::vector<ZKActivityLogItem>> ManagedObjectContext::fetchActivityLogItems() {
  ZK_ASSIGN_OR_RETURN(auto query,
                      store_->database().prepare(
                          "SELECT uniqueIdentifier, date, currentSelectionConfiguration, "
                          "previousSelectionConfiguration, equivalenceIdentifier, equivalences, "
                          "rawInteractionType FROM ZKActivityLogItem ORDER BY uniqueIdentifier"));
  std::vector<ZKActivityLogItem> items;
  while (true) {
    ZK_ASSIGN_OR_RETURN(const bool row, query.step());
    if (!row) break;
    auto current = unarchivedConfiguration(query.optionalText(2));
    auto previous = unarchivedConfiguration(query.optionalText(3));
    auto type = activityInteractionTypeFromRawValue(query.text(6));
    if (!current || !previous || !type) {
      Logger::shared().log(
          "ManagedObjectContext", "fetchActivityLogItems()",
          "Did skip an unreadable selection history entry " + std::to_string(query.integer(0)));
      continue;
    }
    ZKActivityLogItem item;
    item.uniqueIdentifier = query.integer(0);
    item.date = Date(std::chrono::nanoseconds(query.integer(1)));
    item.currentSelectionConfiguration = std::move(*current);
    item.previousSelectionConfiguration = std::move(*previous);
    item.equivalenceIdentifier = query.integer(4);
    item.equivalences = unarchivedIdentifiers(query.optionalText(5));
    item.interactionType = *type;
    items.push_back(std::move(item));
  }
  return items;
}

// --- raw data

Result<std::vector<ZKRawData>> ManagedObjectContext::fetchRawData() {
  ZK_ASSIGN_OR_RETURN(
      auto query,
      store_->database().prepare(
          "SELECT rawKind, \"index\", data FROM ZKRawData ORDER BY rawKind, \"index\""));
  std::vector<ZKRawData> records;
  while (true) {
    ZK_ASSIGN_OR_RETURN(const bool row, query.step());
    if (!row) break;
    records.push_back({query.text(0), query.integer(1), query.text(2)});
  }
  return records;
}

Result<void> ManagedObjectContext::replaceRawData(ZKRawData::Kind kind,
                                                  const std::vector<std::string>& archives) {
  return performTransaction([&]() -> Result<void> {
    ZK_ASSIGN_OR_RETURN(auto remove,
                        store_->database().prepare("DELETE FROM ZKRawData WHERE rawKind = ?"));
    ZK_TRY(remove.bind(1, rawValue(kind)).run());
    ZK_ASSIGN_OR_RETURN(auto insert,
                        store_->database().prepare(
                            "INSERT INTO ZKRawData (rawKind, \"index\", data) VALUES (?, ?, ?)"));
    for (size_t index = 0; index < archives.size(); ++index) {
      ZK_TRY(insert.bind(1, rawValue(kind))
                 .bind(2, static_cast<std::int64_t>(index))
                 .bindBlob(3, archives[index])
                 .run());
    }
    return success();
  });
}

}  // namespace zarnik
