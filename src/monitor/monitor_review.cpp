#include "monitor/monitor_review.h"

#include "detection/duplicates_detection_session.h"
#include "detection/kept_cleaning_records.h"
#include "foundation/logger.h"
#include "monitor/monitor_requests.h"
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
  (void)context.value()->forEachEquivalenceWithCleanedCopies([&](ZKEquivalence& group) {
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

// After copies left a group: its proposal holds only its members, and keeps one of them, the
// original when it is still there.
void fitSelectionToMembers(ZKEquivalence& group) {
  auto& selection = group.currentSelectionConfiguration;
  if (!selection || group.duplicates.empty()) return;
  IdentifierSet selected;
  for (const std::int64_t id : selection->selectedIDs) {
    if (group.duplicate(id)) selected.insert(id);
  }
  selection->selectedIDs = selected;
  if (group.duplicate(selection->originalID) && !selection->isSelected(selection->originalID))
    return;
  const auto stays = std::find_if(
      group.duplicates.begin(), group.duplicates.end(),
      [&](const ZKDuplicate& copy) { return !selection->isSelected(copy.identifier); });
  selection->originalID =
      stays != group.duplicates.end() ? stays->identifier : group.duplicates.front().identifier;
  selection->selectedIDs.erase(selection->originalID);
}

// The copies the person ignores are not under review: a group keeps its other copies when at
// least two are left.
Result<void> leaveOutIgnoredCopies(ManagedObjectContext& context) {
  std::vector<ZKEquivalence> touched;
  ZK_TRY(context.forEachEquivalence([&](ZKEquivalence& group) {
    if (std::any_of(group.duplicates.begin(), group.duplicates.end(),
                    [](const ZKDuplicate& copy) { return copy.ignored; }))
      touched.push_back(group);
    return true;
  }));
  if (touched.empty()) return success();
  return context.performTransaction([&]() -> Result<void> {
    for (auto& group : touched) {
      ZK_TRY(context.deleteEquivalence(group.uniqueIdentifier));
      std::erase_if(group.duplicates, [](const ZKDuplicate& copy) { return copy.ignored; });
      if (group.duplicates.size() < 2) continue;
      fitSelectionToMembers(group);
      ZK_TRY(context.insertEquivalence(group));
    }
    return success();
  });
}

// Proposes exactly the copies at `paths` for removal; each group keeps its original when that
// stays, else its first copy that stays, and a group whose every copy is named keeps them all.
Result<void> proposeOnly(ManagedObjectContext& context, const std::set<std::string>& paths,
                         PreparedMonitorReview& prepared) {
  std::vector<ZKEquivalence> groups;
  ZK_TRY(context.forEachEquivalence([&](ZKEquivalence& group) {
    groups.push_back(group);
    return true;
  }));
  return context.performTransaction([&]() -> Result<void> {
    for (auto& group : groups) {
      if (group.duplicates.empty()) continue;
      SelectionConfiguration selection;
      selection.strategy = SelectionStrategy::manual;
      std::vector<std::int64_t> stays;
      for (const auto& copy : group.duplicates) {
        const auto node = copy.node();
        if (node && paths.contains(node->path())) {
          selection.selectedIDs.insert(copy.identifier);
          prepared.proposedCopiesFound.insert(node->path());
        } else {
          stays.push_back(copy.identifier);
        }
      }
      if (stays.empty()) {
        for (const auto& copy : group.duplicates) {
          if (const auto node = copy.node())
            prepared.proposedWithTheirWholeGroup.insert(node->path());
          stays.push_back(copy.identifier);
        }
        selection.selectedIDs = {};
      }
      const auto earlier = group.currentSelectionConfiguration;
      const bool originalStays =
          earlier && std::find(stays.begin(), stays.end(), earlier->originalID) != stays.end();
      selection.originalID = originalStays ? earlier->originalID : stays.front();
      if (selection.selectedIDs.empty()) selection.strategy = SelectionStrategy::none;
      group.currentSelectionConfiguration = selection;
      ZK_TRY(context.updateEquivalence(group));
    }
    return success();
  });
}

Result<void> noteReviewedUntil(Date reviewed) {
  ZK_ASSIGN_OR_RETURN(auto requests, MonitorRequests::load(MonitorRequests::defaultPath()));
  requests.reviewedUntil = reviewed;
  return requests.save(MonitorRequests::defaultPath());
}

}  // namespace

std::string monitorStorePath() { return persistentContentDirectory() + "/monitor.db"; }

Result<PreparedMonitorReview> prepareMonitorReview(const std::string& monitorStorePath,
                                                   const MonitorReviewOptions& options) {
  if (!pathExists(monitorStorePath))
    return Error::generic("The monitor has found nothing yet: it has no store.", monitorStorePath);
  const Date reviewed = dateNow();
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
  PreparedMonitorReview prepared;
  {
    ZK_ASSIGN_OR_RETURN(auto context, openStore(fresh));
    ZK_TRY(leaveOutIgnoredCopies(*context));
    if (options.proposedCopies) {
      ZK_TRY(proposeOnly(*context, *options.proposedCopies, prepared));
    }
    ZK_ASSIGN_OR_RETURN(prepared.groups, carryOver(*context, groupsWithKeptRecords(target)));
  }
  ZK_TRY(SqliteDatabase::removeFiles(target));
  ZK_TRY(renameFile(fresh, target));
  // The earlier review's view state belongs to the store just replaced.
  ZK_TRY(removeFileIfPresent(spec.urlOfStateFile()));
  if (!options.makeCurrent) return prepared;
  ZK_TRY(DuplicatesDetectionSpec::setReviewingMonitorFindings(true));
  // What is under review now is no news any more; the monitor, running or not, takes note.
  if (auto noted = noteReviewedUntil(reviewed); noted.hasError())
    Logger::shared().log("MonitorReview", "prepareMonitorReview", noted.error().oneLine());
  return prepared;
}

}  // namespace zarnik
