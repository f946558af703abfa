#include "monitor/monitor_review.h"

#include "detection/duplicates_detection_session.h"
#include "detection/kept_cleaning_records.h"
#include "platform/file_reading.h"
#include "platform/sqlite_database.h"
#include "platform/xdg_directories.h"
#include "store/managed_object_context.h"
#include "store/persistent_content.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace zarnik {
namespace {

Result<std::unique_ptr<ManagedObjectContext>> openStore(const std::string& path) {
  ZK_ASSIGN_OR_RETURN(auto store, OVPersistentStoreSpecification::diskPersistentStore(
                                      ManagedObjectModel::fileModel(), path)
                                      .buildPersistentStore());
  return ManagedObjectContext::make(std::move(store));
}

// The groups of the earlier review holding records that `revert` still needs.
std::vector<ZKEquivalence> groupsWithKeptRecords(const std::string& path) {
  std::vector<ZKEquivalence> kept;
  if (!pathExists(path)) return kept;
  auto context = openStore(path);
  if (context.hasError()) return kept;
  (void)context.value()->forEachEquivalence([&](ZKEquivalence& group) {
    if (std::any_of(group.duplicates.begin(), group.duplicates.end(), recordMustOutliveResults))
      kept.push_back(group);
    return true;
  });
  return kept;
}

Result<std::int64_t> carryOver(ManagedObjectContext& context,
                               const std::vector<ZKEquivalence>& kept) {
  CarriedIdentifiers identifiers;
  std::int64_t groups = 0;
  ZK_TRY(context.forEachEquivalence([&](ZKEquivalence& group) {
    ++groups;
    identifiers.nextGroup = std::max(identifiers.nextGroup, group.uniqueIdentifier + 1);
    for (const auto& copy : group.duplicates)
      identifiers.nextCopy = std::max(identifiers.nextCopy, copy.identifier + 1);
    return true;
  }));
  ZK_TRY(context.performTransaction([&]() -> Result<void> {
    for (const auto& group : kept) {
      auto carried = carriedOverGroup(group, identifiers);
      if (!carried) continue;
      // Node archives refer to the scan locations stored beside them, which are the monitor's now.
      for (auto& copy : carried->duplicates) {
        const auto node = copy.node();
        copy.substitutions = context.substitutions();
        if (node) copy.setNode(*node);
      }
      ZK_TRY(context.insertEquivalence(*carried));
      ++groups;
    }
    return success();
  }));
  return groups;
}

}  // namespace

std::string monitorStorePath() { return persistentContentDirectory() + "/monitor.db"; }

Result<std::int64_t> prepareMonitorReview(const std::string& monitorStorePath) {
  if (!pathExists(monitorStorePath))
    return Error::generic("The monitor has found nothing yet: it has no store.", monitorStorePath);
  const auto spec = DuplicatesDetectionSpec::monitorReview(nullptr);
  ZK_TRY(xdg::makeDirectories(spec.urlOfStateContainer));
  const std::string target = spec.urlOfStateDB();
  const std::string fresh = target + ".new";
  ZK_TRY(SqliteDatabase::removeFiles(fresh));
  {
    // One read transaction: the copy is the store as it was at one moment.
    ZK_ASSIGN_OR_RETURN(auto source, SqliteDatabase::open(monitorStorePath));
    ZK_ASSIGN_OR_RETURN(auto copy, source->prepare("VACUUM INTO ?"));
    ZK_TRY(copy.bind(1, fresh).run());
  }
  std::int64_t groups = 0;
  {
    ZK_ASSIGN_OR_RETURN(auto context, openStore(fresh));
    ZK_ASSIGN_OR_RETURN(groups, carryOver(*context, groupsWithKeptRecords(target)));
  }
  ZK_TRY(SqliteDatabase::removeFiles(target));
  ZK_TRY(renameFile(fresh, target));
  // The earlier review's view state belongs to the store just replaced.
  ZK_TRY(removeFileIfPresent(spec.urlOfStateFile()));
  ZK_TRY(DuplicatesDetectionSpec::setReviewingMonitorFindings(true));
  return groups;
}

}  // namespace zarnik
