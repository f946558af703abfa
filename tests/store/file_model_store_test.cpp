// Records of the file model: archives with class tags and substitutions, groups with their
// members, the selection history and raw-data records.
#include "support/test_dir.h"

#include "foundation/logger.h"
#include "store/managed_object_context.h"
#include "store/raw_data_storage.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

using testing::TestDir;

class FileModelStoreTest : public ::testing::Test {
 protected:
  TestDir dir;
  OVURLResolver resolver{"/nonexistent-home"};
  std::unique_ptr<ManagedObjectContext> context;

  void SetUp() override {
    Logger::shared().setConsole(nullptr);
    auto store = OVPersistentStoreSpecification::ramPersistentStore(ManagedObjectModel::fileModel())
                     .buildPersistentStore();
    ASSERT_TRUE(store.hasValue());
    auto made = ManagedObjectContext::make(store.value());
    ASSERT_TRUE(made.hasValue());
    context = std::move(made).value();
  }

  ScanLocationPtr location(const std::string& name) {
    return ScanLocation::make(dir.dir(name), resolver);
  }

  std::shared_ptr<ZKBaseNode> fileNode(const ScanLocationPtr& scan, const std::string& relative) {
    const std::string path = dir.file(relative, "content of " + relative);
    auto attributes = NodeAttributes::resourceValuesOf(path);
    return std::make_shared<ZKFileNode>(*NodeLocation::make(scan, path), *attributes, NodeContent{},
                                        NodeType::document, std::nullopt);
  }

  ZKEquivalence group(std::int64_t id, ByteCount reclaimable,
                      const std::vector<std::shared_ptr<ZKBaseNode>>& nodes) {
    ZKEquivalence equivalence;
    equivalence.uniqueIdentifier = id;
    equivalence.reclaimableSize = reclaimable;
    equivalence.currentSelectionConfiguration =
        SelectionConfiguration{SelectionStrategy::automatic, id * 10, {}};
    equivalence.initialSelectionConfiguration = equivalence.currentSelectionConfiguration;
    equivalence.availableSelectionConfigurations = {
        SelectionConfiguration{SelectionStrategy::none, id * 10, {}}};
    for (size_t i = 0; i < nodes.size(); ++i) {
      ZKDuplicate duplicate;
      duplicate.identifier = id * 10 + static_cast<std::int64_t>(i);
      duplicate.substitutions = context->substitutions();
      duplicate.setNode(*nodes[i]);
      equivalence.duplicates.push_back(std::move(duplicate));
    }
    return equivalence;
  }
};

TEST_F(FileModelStoreTest, ArchivesAreReadOnlyAsTheClassTheyClaim) {
  const std::string text = archivedText("SelectionConfiguration", Json{{"strategy", "None"}});
  EXPECT_TRUE(unarchivedValue(text, "SelectionConfiguration"));
  EXPECT_FALSE(unarchivedValue(text, "DuplicateDifferences"));
  EXPECT_FALSE(
      unarchivedValue("{\"$class\": \"SelectionConfiguration\"", "SelectionConfiguration"));
  EXPECT_FALSE(unarchivedValue("[1, 2]", "SelectionConfiguration"));
  EXPECT_TRUE(unarchivedObject(R"({"$class": "ZKFileNode"})", {"ZKFileNode", "ZKDirectoryNode"}));
  EXPECT_FALSE(unarchivedObject(R"({"$class": "Evil"})", {"ZKFileNode"}));
}

TEST_F(FileModelStoreTest, NodesReferToStoredLocationsByPositionAndFollowTheList) {
  auto music = location("music");
  auto photos = location("photos");
  auto node = fileNode(photos, "photos/cat.jpg");
  ArchiveSubstitutions substitutions({music, photos}, {});
  const std::string archived = substitutions.archivedNode(*node);
  EXPECT_NE(archived.find("ScanLocationSubstitution"), std::string::npos);
  EXPECT_EQ(archived.find("\"abbreviatedPath\""), std::string::npos)
      << archived;  // only the position is written

  auto read = substitutions.unarchivedNode(archived);
  ASSERT_TRUE(read.hasValue()) << read.error().oneLine();
  EXPECT_EQ(read.value()->path(), dir / "photos/cat.jpg");
  EXPECT_EQ(read.value()->location().scanLocation()->abbreviatedPath(), photos->abbreviatedPath());

  // The list changed: the position now names another location.
  auto videos = location("videos");
  auto moved = ArchiveSubstitutions({music, videos}, {}).unarchivedNode(archived);
  ASSERT_TRUE(moved.hasValue());
  EXPECT_EQ(moved.value()->location().scanLocation()->abbreviatedPath(), videos->abbreviatedPath());
  // A position past the list's end is refused, never read out of bounds.
  EXPECT_TRUE(ArchiveSubstitutions({music}, {}).unarchivedNode(archived).hasError());
  // A location not in the list is written in full.
  EXPECT_NE(ArchiveSubstitutions({music}, {}).archivedNode(*node).find("\"abbreviatedPath\""),
            std::string::npos);
}

// Nodes of the list's own locations are archived without archiving their location; the text must
// be what archiving everything and then substituting gives.
TEST_F(FileModelStoreTest, ANodeIsArchivedAlikeWhetherItsLocationIsFoundByObjectOrByArchive) {
  auto music = location("music");
  auto photos = location("photos");
  auto photosAgain = location("photos");  // another object, archived alike
  dir.dir("photos/pictures.photoslibrary");
  auto library = std::make_shared<ZKDirectoryNode>(
      *NodeLocation::make(photosAgain, dir / "photos/pictures.photoslibrary"),
      *NodeAttributes::resourceValuesOf(dir / "photos"), NodeContent{}, NodeType::photosLibrary,
      std::nullopt, MediaLibraryInfo{MediaLibraryKind::photos, Version::parse("5.0"), true, true});
  std::vector<std::shared_ptr<ZKBaseNode>> nodes = {
      fileNode(photos, "photos/cat.jpg"), fileNode(photosAgain, "photos/dog.jpg"),
      fileNode(music, "music/song.mp3"), fileNode(location("elsewhere"), "elsewhere/note.txt"),
      library};
  // A library's item carries its library's folder, which is compared whole with the kept ones.
  const auto song = fileNode(photos, "photos/track.m4a");
  nodes.push_back(std::make_shared<ZKITunesLibraryItemNode>(
      song->location(), song->attributes(), NodeContent{}, NodeType::audio, std::nullopt,
      ZKITunesLibraryItemIdentifier{7}, library));
  const std::vector<ArchiveSubstitutions> lists = {
      ArchiveSubstitutions({music, photos}, {}),
      ArchiveSubstitutions({photos, photosAgain, music}, {}),
      ArchiveSubstitutions({nullptr, photosAgain, photos}, {library}),
      ArchiveSubstitutions({}, {library}),
  };
  for (size_t list = 0; list < lists.size(); ++list) {
    for (const auto& node : nodes) {
      EXPECT_EQ(lists[list].archivedNode(*node), dumpJson(lists[list].substitute(node->encode())))
          << "list " << list << ", " << node->path();
    }
  }
  EXPECT_NE(lists[2].archivedNode(*library).find("RawDataSubstitution"), std::string::npos);
}

TEST_F(FileModelStoreTest, OnlyStoredMediaLibraryFoldersAreWrittenAsReferences) {
  auto scan = location("libraries");
  dir.dir("libraries/Music.musiclibrary");
  dir.dir("libraries/plain");
  auto attributes = NodeAttributes::resourceValuesOf(dir / "libraries/plain");
  auto library = std::make_shared<ZKDirectoryNode>(
      *NodeLocation::make(scan, dir / "libraries/Music.musiclibrary"), *attributes, NodeContent{},
      NodeType::iTunesLibrary, std::nullopt,
      MediaLibraryInfo{MediaLibraryKind::iTunes, Version::parse("12.9"), true, true});
  auto plain = std::make_shared<ZKDirectoryNode>(*NodeLocation::make(scan, dir / "libraries/plain"),
                                                 *attributes, NodeContent{}, NodeType::other,
                                                 std::nullopt, std::nullopt);
  ArchiveSubstitutions substitutions({}, {library});
  const Json wrapped{{"library", library->encode()}, {"plain", plain->encode()}};
  const Json written = substitutions.substitute(wrapped);
  EXPECT_EQ(jsonString(written["library"], "$class"), "RawDataSubstitution");
  EXPECT_EQ(jsonString(written["library"], "kind"), "MediaLibraryNode");
  EXPECT_EQ(jsonString(written["plain"], "$class"), "ZKDirectoryNode");
  EXPECT_EQ(substitutions.resolve(written), wrapped);
}

TEST_F(FileModelStoreTest, GroupsAreListedLargestFirstWithTheirMembersAndChangesAreKept) {
  auto scan = location("tree");
  ASSERT_TRUE(context->setScanLocations({scan}).hasValue());
  auto small = group(1, 100, {fileNode(scan, "tree/a"), fileNode(scan, "tree/b")});
  auto large = group(
      2, 5000, {fileNode(scan, "tree/c"), fileNode(scan, "tree/d"), fileNode(scan, "tree/e")});
  ASSERT_TRUE(context
                  ->performTransaction([&]() -> Result<void> {
                    ZK_TRY(context->insertEquivalence(small));
                    return context->insertEquivalence(large);
                  })
                  .hasValue());

  std::vector<std::int64_t> order;
  ASSERT_TRUE(context
                  ->forEachEquivalence([&](ZKEquivalence& equivalence) {
                    order.push_back(equivalence.uniqueIdentifier);
                    return true;
                  })
                  .hasValue());
  EXPECT_EQ(order, (std::vector<std::int64_t>{2, 1}));

  auto fetched = context->fetchEquivalenceOfDuplicate(21);
  ASSERT_TRUE(fetched.hasValue() && fetched.value());
  ZKEquivalence stored = *fetched.value();
  ASSERT_EQ(stored.duplicates.size(), 3u);
  EXPECT_EQ(stored.duplicates[1].node()->path(), dir / "tree/d");
  EXPECT_EQ(stored.availableSelectionConfigurations, large.availableSelectionConfigurations);
  EXPECT_EQ(stored.initialSelectionConfiguration, large.initialSelectionConfiguration);

  stored.currentSelectionConfiguration =
      SelectionConfiguration{SelectionStrategy::manual, 20, {21, 22}};
  stored.duplicates[0].ignored = true;
  ASSERT_TRUE(context->updateEquivalence(stored).hasValue());
  auto again = context->fetchEquivalence(2);
  ASSERT_TRUE(again.hasValue() && again.value());
  EXPECT_EQ(again.value()->currentSelectionConfiguration, stored.currentSelectionConfiguration);
  EXPECT_TRUE(again.value()->duplicates[0].ignored);
  EXPECT_EQ(again.value()->initialSelectionConfiguration, large.initialSelectionConfiguration);

  // Only a group with a cleaned copy is listed among those whose records may outlive results.
  const auto withCleanedCopies = [&] {
    std::vector<std::int64_t> listed;
    EXPECT_TRUE(context
                    ->forEachEquivalenceWithCleanedCopies([&](ZKEquivalence& equivalence) {
                      listed.push_back(equivalence.uniqueIdentifier);
                      EXPECT_FALSE(equivalence.duplicates.empty());
                      return true;
                    })
                    .hasValue());
    return listed;
  };
  EXPECT_TRUE(withCleanedCopies().empty());
  auto cleaned = *context->fetchEquivalence(1).value();
  cleaned.duplicates[1].cleanID = 7;
  ASSERT_TRUE(context->updateEquivalence(cleaned).hasValue());
  EXPECT_EQ(withCleanedCopies(), (std::vector<std::int64_t>{1}));

  // A failed transaction leaves nothing of itself behind.
  auto failed = context->performTransaction([&]() -> Result<void> {
    ZK_TRY(context->deleteAllEquivalences());
    return Error::generic("stop");
  });
  EXPECT_TRUE(failed.hasError());
  EXPECT_EQ(context->countOfEquivalences().valueOr(-1), 2);
}

TEST_F(FileModelStoreTest, AnUnreadableMemberNodeIsAbsentNotACrash) {
  ZKEquivalence equivalence;
  equivalence.uniqueIdentifier = 1;
  ZKDuplicate broken;
  broken.identifier = 1;
  broken.nodeData = R"({"$class": "ZKFileNode", "location": 5})";
  equivalence.duplicates.push_back(broken);
  ASSERT_TRUE(context->insertEquivalence(equivalence).hasValue());
  auto fetched = context->fetchEquivalence(1);
  ASSERT_TRUE(fetched.hasValue() && fetched.value());
  EXPECT_EQ(fetched.value()->duplicates.at(0).node(), nullptr);
  EXPECT_FALSE(fetched.value()->duplicates.at(0).isFolder());
}

TEST_F(FileModelStoreTest, TheSelectionHistoryKeepsItsEntriesAndTellsWhatChanged) {
  ZKActivityLogItem item;
  item.uniqueIdentifier = 4;
  item.date = dateFromSecondsSince1970(1'700'000'000.5);
  item.previousSelectionConfiguration = {SelectionStrategy::automatic, 1, {2, 3}};
  item.currentSelectionConfiguration = {SelectionStrategy::manual, 1, {3, 4}};
  item.equivalenceIdentifier = 9;
  item.equivalences = {9};
  item.interactionType = ActivityInteractionType::undo;
  ASSERT_TRUE(context->insertActivityLogItem(item).hasValue());
  ASSERT_TRUE(context->store()
                  .database()
                  .execute("INSERT INTO ZKActivityLogItem (uniqueIdentifier, date, "
                           "equivalenceIdentifier, rawInteractionType) "
                           "VALUES (5, 0, 9, 'Sideways')")
                  .hasValue());

  auto items = context->fetchActivityLogItems();
  ASSERT_TRUE(items.hasValue());
  ASSERT_EQ(items.value().size(), 1u);  // the unreadable entry is skipped
  const auto& read = items.value().front();
  EXPECT_EQ(read.date, item.date);
  EXPECT_EQ(read.interactionType, ActivityInteractionType::undo);
  EXPECT_EQ(read.equivalences, item.equivalences);
  EXPECT_EQ(read.newlySelected(), (std::set<std::int64_t>{4}));
  EXPECT_EQ(read.newlyDeselected(), (std::set<std::int64_t>{2}));
}

TEST_F(FileModelStoreTest, RawDataRecordsAreSortedByKindAndFollowTheLocationList) {
  auto first = location("first");
  auto second = location("second");
  ASSERT_TRUE(context->setScanLocations({first, second}).hasValue());
  auto storage = RawDataStorage::make(*context);
  ASSERT_TRUE(storage.hasValue());
  auto& raw = *storage.value();

  ExtendedScanRules rules;
  rules.setExactMatchEnabled(false);
  ASSERT_TRUE(raw.setScanRules(&rules).hasValue());
  ASSERT_TRUE(raw.setAlwaysSelectionRules({"/a", "/b"}).hasValue());
  ASSERT_TRUE(raw.setAlwaysSelectionRules({"/c"}).hasValue());  // the list replaces the records
  ASSERT_TRUE(raw.setCleaningSessions({Json{{"at", second->encode()}}}).hasValue());
  EXPECT_NE(
      raw.records(ZKRawData::Kind::CleaningSession).at(0).data.find("ScanLocationSubstitution"),
      std::string::npos);
  ASSERT_TRUE(
      context->store()
          .database()
          .execute(
              "INSERT INTO ZKRawData (rawKind, \"index\", data) VALUES ('FutureKind', 0, 'x'), "
              "('NeverSelectRule', 0, 'not an archive')")
          .hasValue());

  auto third = location("third");
  ASSERT_TRUE(context->setScanLocations({first, third}).hasValue());
  auto reloaded = RawDataStorage::make(*context);
  ASSERT_TRUE(reloaded.hasValue());
  const auto& again = *reloaded.value();
  ASSERT_NE(again.scanRules(), nullptr);
  EXPECT_FALSE(again.scanRules()->exactMatchEnabled());
  EXPECT_EQ(again.alwaysSelectionRules(), std::vector<std::string>{"/c"});
  EXPECT_TRUE(again.neverSelectionRules().empty());  // its only record cannot be read
  ASSERT_EQ(again.recordsWithoutKind().size(), 1u);
  EXPECT_FALSE(again.recordsWithoutKind().front().kind());
  ASSERT_EQ(again.cleaningSessions().size(), 1u);
  EXPECT_EQ(again.cleaningSessions().front()["at"], third->encode());  // position 1 of the new list

  SmartSelectionRuleInfo info{
      SmartSelectionRule(SmartSelectionRule::Kind::sameUTIType, "image/jpeg"), false};
  ASSERT_TRUE(reloaded.value()->addSmartSelectionRuleInfo(info).hasValue());
  ExtendedAutoselectionRules global;
  global.selectRandomAmongEqual = true;
  global.neverSelectPaths = {"/global"};
  const auto local = reloaded.value()->localAutoselectionRules(global);
  EXPECT_TRUE(local.selectRandomAmongEqual);
  EXPECT_EQ(local.alwaysSelectPaths, std::vector<std::string>{"/c"});
  EXPECT_TRUE(local.neverSelectPaths.empty());
  ASSERT_EQ(local.smartSelectionRuleInfos.size(), 1u);
  EXPECT_EQ(local.smartSelectionRuleInfos.front(), info);
}

}  // namespace
}  // namespace zarnik
