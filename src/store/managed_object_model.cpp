#include "store/managed_object_model.h"

namespace zarnik {
namespace {

// Each store names its model in ZMETADATA, so that a file of one model is never read as the other.
constexpr std::string_view kFileModelVersion1 = R"sql(
CREATE TABLE ZMETADATA (key TEXT PRIMARY KEY NOT NULL, value BLOB);
INSERT INTO ZMETADATA (key, value) VALUES ('model', 'FileModel');
CREATE TABLE ZKDuplicateMonitorState (
  Z_PK INTEGER PRIMARY KEY,
  monitoredLocations TEXT,
  hadScanLocations INTEGER NOT NULL DEFAULT 0,
  cachedRecentDuplicatesSize INTEGER NOT NULL DEFAULT 0,
  automaticThresholdSize INTEGER NOT NULL DEFAULT 0,
  urlsToMonitor TEXT);
CREATE TABLE ZKEquivalence (
  uniqueIdentifier INTEGER PRIMARY KEY,
  expanded INTEGER NOT NULL DEFAULT 0,
  lastResortName TEXT,
  duplicatesMonitorState INTEGER REFERENCES ZKDuplicateMonitorState (Z_PK) ON DELETE SET NULL,
  initialSelectionConfiguration TEXT,
  currentSelectionConfiguration TEXT,
  availableSelectionConfigurations TEXT,
  initialOriginalDuplicateID INTEGER,
  privateEquivalenceInfo TEXT,
  privateEquivalenceKind TEXT NOT NULL,
  rawSelectedDifference TEXT);
CREATE TABLE ZKRecentDuplicate (
  Z_PK INTEGER PRIMARY KEY,
  monitorState INTEGER REFERENCES ZKDuplicateMonitorState (Z_PK) ON DELETE CASCADE,
  foundDate REAL NOT NULL,
  status INTEGER NOT NULL DEFAULT 0);
CREATE TABLE ZKDuplicate (
  Z_PK INTEGER PRIMARY KEY,
  identifier INTEGER NOT NULL,
  equivalence INTEGER REFERENCES ZKEquivalence (uniqueIdentifier) ON DELETE CASCADE,
  recentDuplicate INTEGER REFERENCES ZKRecentDuplicate (Z_PK) ON DELETE SET NULL,
  nodeData BLOB,
  cleaningNoteData BLOB,
  privateEquivalenceInfo TEXT,
  privateEquivalenceKind TEXT,
  cleanID INTEGER,
  ignored INTEGER NOT NULL DEFAULT 0,
  differencesData TEXT);
CREATE INDEX ZKDuplicate_equivalence ON ZKDuplicate (equivalence);
CREATE INDEX ZKDuplicate_identifier ON ZKDuplicate (identifier);
CREATE TABLE ZKActivityLogItem (
  uniqueIdentifier INTEGER PRIMARY KEY,
  date REAL NOT NULL,
  currentSelectionConfiguration TEXT,
  previousSelectionConfiguration TEXT,
  equivalenceIdentifier INTEGER NOT NULL,
  equivalences TEXT,
  rawInteractionType TEXT NOT NULL);
CREATE TABLE ZKRawData (
  Z_PK INTEGER PRIMARY KEY,
  rawKind TEXT,
  "index" INTEGER NOT NULL DEFAULT 0,
  data BLOB);
)sql";

// Version 2: each group keeps the size one copy takes and what removing all copies but one
// frees, so that results are listed largest first without reading every member's node.
constexpr std::string_view kFileModelVersion2 = R"sql(
ALTER TABLE ZKEquivalence ADD COLUMN memberSize INTEGER NOT NULL DEFAULT 0;
ALTER TABLE ZKEquivalence ADD COLUMN reclaimableSize INTEGER NOT NULL DEFAULT 0;
CREATE INDEX ZKEquivalence_reclaimableSize ON ZKEquivalence (reclaimableSize DESC, uniqueIdentifier);
)sql";

// The copies a cleaning recorded, found without reading every copy; nearly all copies have none,
// so the index holds only those that do.
constexpr std::string_view kCleanedCopiesIndex =
    "CREATE INDEX IF NOT EXISTS ZKDuplicate_cleanID ON ZKDuplicate (cleanID) "
    "WHERE cleanID IS NOT NULL";

constexpr std::string_view kPreferencesModelVersion1 = R"sql(
CREATE TABLE ZMETADATA (key TEXT PRIMARY KEY NOT NULL, value BLOB);
INSERT INTO ZMETADATA (key, value) VALUES ('model', 'PreferencesModel');
CREATE TABLE ZKIgnoreItem (
  Z_PK INTEGER PRIMARY KEY,
  enabled INTEGER NOT NULL DEFAULT 1,
  editable INTEGER NOT NULL DEFAULT 1,
  hidden INTEGER NOT NULL DEFAULT 0,
  "order" INTEGER NOT NULL DEFAULT 0,
  rawMembershipMode TEXT,
  path TEXT);
CREATE TABLE ZKSelectionRule (
  Z_PK INTEGER PRIMARY KEY,
  kind TEXT NOT NULL,
  enabled INTEGER NOT NULL DEFAULT 1,
  hidden INTEGER NOT NULL DEFAULT 0,
  "order" INTEGER NOT NULL DEFAULT 0,
  path TEXT);
CREATE TABLE ZKSmartSelectionRule (
  Z_PK INTEGER PRIMARY KEY,
  isEnabled INTEGER NOT NULL DEFAULT 1,
  "order" INTEGER NOT NULL DEFAULT 0,
  privateData BLOB);
)sql";

// Version 2: the ignore list holds groups of extensions beside single paths, and a path item may
// name paths inside it that are still walked.
constexpr std::string_view kPreferencesModelVersion2 = R"sql(
ALTER TABLE ZKIgnoreItem ADD COLUMN kind TEXT NOT NULL DEFAULT 'node';
ALTER TABLE ZKIgnoreItem ADD COLUMN pathExtensions TEXT;
ALTER TABLE ZKIgnoreItem ADD COLUMN forceWhitelistedPaths TEXT;
)sql";

}  // namespace

const ManagedObjectModel& ManagedObjectModel::fileModel() {
  static const ManagedObjectModel model{
      "FileModel", {kFileModelVersion1, kFileModelVersion2}, {kCleanedCopiesIndex}};
  return model;
}

const ManagedObjectModel& ManagedObjectModel::preferencesModel() {
  static const ManagedObjectModel model{
      "PreferencesModel", {kPreferencesModelVersion1, kPreferencesModelVersion2}, {}};
  return model;
}

}  // namespace zarnik
