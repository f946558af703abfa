#include "enumeration/file_system_enumeration.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <set>

#include "support/test_dir.h"

namespace zarnik {
namespace {

using testing::TestDir;

struct Walk {
  std::map<std::string, MatchingNodePtr> nodesByPath;
  std::vector<Error> errors;
};

class EnumerationTest : public ::testing::Test {
 protected:
  TestDir dir;
  OVURLResolver resolver{"/nonexistent-home"};
  std::shared_ptr<ExtendedScanRules> rules = std::make_shared<ExtendedScanRules>();

  Walk walk(std::vector<std::string> roots, EnumerationOptions options = {}, EnumerationFilter filter = {},
            bool includeHidden = false,
            MatchingNodesEnumerator::StatusFunction status = {}) {
    auto factoryPtr = MatchingNodesFactory::make(rules, resolver, {includeHidden, {}});
    auto& factory = *factoryPtr;
    std::vector<LocationSpecification> locations;
    for (const auto& root : roots) locations.push_back({ScanLocation::make(root, resolver), filter});
    auto specs = EnumerationSpecification::acceptableSpecifications(locations, *rules, resolver);
    auto queue = OperationQueue::make("enumeration", 2, QualityOfService::userInitiated);
    Walk result;
    std::mutex mutex;
    MatchingNodesEnumerator::enumerate(
        specs, factory, queue, options, std::move(status),
        [&](const MatchingNodePtr& node, const std::string& url) {
          std::lock_guard lock(mutex);
          EXPECT_TRUE(result.nodesByPath.emplace(url, node).second) << "reported twice: " << url;
        },
        [&](const Error& error) {
          std::lock_guard lock(mutex);
          result.errors.push_back(error);
        });
    return result;
  }
};

TEST_F(EnumerationTest, WalksEveryItemOnceWithItsParentChain) {
  dir.file("a.txt", "a");
  dir.file("sub/b.jpg", "b");
  dir.file("sub/deeper/c.mp3", "c");
  dir.dir("empty");
  auto result = walk({dir.path()});
  std::set<std::string> paths;
  for (const auto& [path, node] : result.nodesByPath) paths.insert(path);
  EXPECT_EQ(paths, (std::set<std::string>{dir.path(), dir / "a.txt", dir / "sub", dir / "sub/b.jpg", dir / "sub/deeper",
                                          dir / "sub/deeper/c.mp3", dir / "empty"}));
  const auto& c = result.nodesByPath.at(dir / "sub/deeper/c.mp3");
  EXPECT_EQ(c->relativePath(), "sub/deeper/c.mp3");
  EXPECT_EQ(c->name(), "c.mp3");
  EXPECT_EQ(c->type(), NodeType::audio);
  ASSERT_NE(c->parentNode(), nullptr);
  EXPECT_EQ(c->parentNode()->path(), dir / "sub/deeper");
  EXPECT_EQ(result.nodesByPath.at(dir / "sub")->isDirectory(), true);
  auto* sub = static_cast<MatchingDirectoryNode*>(result.nodesByPath.at(dir / "sub").get());
  EXPECT_EQ(sub->numberOfNodes.load(), 2);
  EXPECT_TRUE(result.errors.empty());
}

TEST_F(EnumerationTest, NestedAndRepeatedLocationsAreWalkedOnceButSiblingPrefixesStay) {
  dir.file("a/x.txt", "x");
  dir.file("ab/y.txt", "y");
  auto result = walk({dir / "a", dir.path(), dir / "a", dir / "ab"});
  EXPECT_EQ(result.nodesByPath.count(dir / "a/x.txt"), 1u);
  EXPECT_EQ(result.nodesByPath.count(dir / "ab/y.txt"), 1u);
  std::vector<LocationSpecification> locations = {{ScanLocation::make(dir / "a", resolver), {}},
                                                  {ScanLocation::make(dir / "ab", resolver), {}},
                                                  {ScanLocation::make(std::nullopt, std::nullopt, "~/gone/"), {}}};
  EXPECT_EQ(EnumerationSpecification::acceptableSpecifications(locations, *rules, resolver).size(), 2u);
}

TEST_F(EnumerationTest, SpecialFilesAreSkippedAndLinksAreNeverFollowed) {
  dir.file("real/file.txt", "data");
  dir.fifo("real/pipe");
  dir.socket("real/sock");
  dir.symlink("real/loop", "..");       // a loop if it were followed
  dir.symlink("real/self", "self");     // a link to itself
  dir.symlink("real/dangling", "none");
  auto result = walk({dir / "real"});
  EXPECT_EQ(result.nodesByPath.count(dir / "real/pipe"), 0u);
  EXPECT_EQ(result.nodesByPath.count(dir / "real/sock"), 0u);
  ASSERT_EQ(result.nodesByPath.count(dir / "real/loop"), 1u);
  EXPECT_EQ(result.nodesByPath.at(dir / "real/loop")->attributes().vnodeType, VNodeType::symbolicLink);
  EXPECT_EQ(result.nodesByPath.count(dir / "real/loop/file.txt"), 0u);
  EXPECT_EQ(result.nodesByPath.size(), 5u);  // folder, file and three links
}

TEST_F(EnumerationTest, OddNamesSurviveAsBytes) {
  const std::string latin1 = "caf\xE9.txt";
  const std::string newline = "two\nlines.txt";
  dir.file(latin1, "1");
  dir.file(newline, "2");
  auto result = walk({dir.path()});
  ASSERT_EQ(result.nodesByPath.count(dir / latin1), 1u);
  ASSERT_EQ(result.nodesByPath.count(dir / newline), 1u);
  EXPECT_EQ(result.nodesByPath.at(dir / latin1)->name(), latin1);
}

TEST_F(EnumerationTest, TreesDeeperThanPathMaxAreWalked) {
  // Built with openat/mkdirat, since the full path is too long for the usual calls.
  const std::string component(200, 'd');
  int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  const int depth = 30;  // about 6,000 bytes of path
  for (int i = 0; i < depth; ++i) {
    ASSERT_EQ(::mkdirat(fd, component.c_str(), 0700), 0);
    const int next = ::openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  const int file = ::openat(fd, "bottom.txt", O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(file, 0);
  ::close(file);
  ::close(fd);
  auto result = walk({dir.path()});
  bool foundBottom = false;
  for (const auto& [path, node] : result.nodesByPath) {
    if (node->name() == "bottom.txt") {
      foundBottom = true;
      EXPECT_GT(path.size(), static_cast<size_t>(PATH_MAX));
    }
  }
  EXPECT_TRUE(foundBottom);
  EXPECT_TRUE(result.errors.empty());
}

TEST_F(EnumerationTest, UnreadableFoldersAreReportedAndTheWalkGoesOn) {
  if (testing::runningAsRoot()) GTEST_SKIP() << "root reads every folder; permission checks do not apply";
  dir.file("locked/secret.txt", "s");
  dir.file("open/visible.txt", "v");
  ::chmod((dir / "locked").c_str(), 0000);
  auto result = walk({dir.path()});
  EXPECT_EQ(result.nodesByPath.count(dir / "locked"), 1u);  // the folder itself is still a node
  EXPECT_EQ(result.nodesByPath.count(dir / "open/visible.txt"), 1u);
  ASSERT_EQ(result.errors.size(), 1u);
  EXPECT_EQ(result.errors[0].path, dir / "locked");
}

TEST_F(EnumerationTest, AMissingLocationIsReportedWithItsPath) {
  auto location = ScanLocation::make(std::string(dir / "soon-gone"), std::nullopt, "/x/");
  auto factoryPtr = MatchingNodesFactory::make(rules, resolver);
  auto& factory = *factoryPtr;
  auto queue = OperationQueue::make("enumeration", 2, QualityOfService::userInitiated);
  std::vector<Error> errors;
  MatchingNodesEnumerator::enumerate({{dir / "soon-gone", location, {}}}, factory, queue, {}, {},
                                     [](const MatchingNodePtr&, const std::string&) {},
                                     [&](const Error& e) { errors.push_back(e); });
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].path, dir / "soon-gone");
  EXPECT_EQ(errors[0].code, ENOENT);
}

TEST_F(EnumerationTest, HiddenItemsAreWalkedButIgnoredUnlessIncluded) {
  dir.file(".hidden/inside.txt", "x");
  dir.file(".dotfile", "x");
  auto ignored = walk({dir.path()});
  ASSERT_EQ(ignored.nodesByPath.count(dir / ".dotfile"), 1u);
  EXPECT_FALSE(ignored.nodesByPath.at(dir / ".dotfile")->isProcessingAllowed());
  EXPECT_EQ(ignored.nodesByPath.count(dir / ".hidden/inside.txt"), 0u);
  auto included = walk({dir.path()}, {}, {}, /*includeHidden=*/true);
  EXPECT_TRUE(included.nodesByPath.at(dir / ".dotfile")->isProcessingAllowed());
  EXPECT_EQ(included.nodesByPath.count(dir / ".hidden/inside.txt"), 1u);
}

TEST_F(EnumerationTest, ExcludedFoldersAreSkippedExceptWhitelistedPathsInside) {
  dir.file("cache/junk.bin", "j");
  dir.file("cache/keep/important.txt", "i");
  dir.file("Photos/a.jpg", "a");
  dir.file("Photos/b.TMP", "t");
  rules->setExclusionRulesByPath({{dir.path() + "/cache/", ExclusionRule::ignoring(ContainerMembershipMode::regular,
                                                                                   {dir.path() + "/cache/keep/"})}});
  rules->setExclusionRulesByPathExtension({{"tmp", ExclusionRule::ignoring(ContainerMembershipMode::regular)}});
  auto result = walk({dir.path()});
  EXPECT_EQ(result.nodesByPath.count(dir / "cache/junk.bin"), 0u);
  EXPECT_EQ(result.nodesByPath.count(dir / "cache/keep/important.txt"), 1u);
  EXPECT_FALSE(result.nodesByPath.at(dir / "Photos/b.TMP")->isProcessingAllowed());
  EXPECT_TRUE(result.nodesByPath.at(dir / "Photos/a.jpg")->isProcessingAllowed());
}

TEST_F(EnumerationTest, NameExpressionsSetTheMembershipModeAndFolderCounters) {
  dir.file("box/node_modules/x.js", "x");
  dir.file("box/regular.txt", "r");
  rules->setNodeNameRegExpByMembershipMode({{"Transparent", {"^NODE_MODULES$"}}});
  auto result = walk({dir.path()});
  const auto& modules = result.nodesByPath.at(dir / "box/node_modules");
  EXPECT_FALSE(modules->isMatchingAllowed());
  EXPECT_EQ(result.nodesByPath.count(dir / "box/node_modules/x.js"), 1u);  // transparent: insides walked
  auto* box = static_cast<MatchingDirectoryNode*>(result.nodesByPath.at(dir / "box").get());
  EXPECT_EQ(box->numberOfNodes.load(), 2);
  EXPECT_EQ(box->numberOfMatchableNodes.load(), 1);
}

TEST_F(EnumerationTest, FiltersAndNonRecursiveWalks) {
  dir.fileOfSize("small.jpg", 10);
  dir.fileOfSize("big.jpg", 11);
  dir.fileOfSize("big.txt", 100);
  dir.file("sub/inner.jpg", "x");
  auto sized = walk({dir.path()}, {}, enumeration_filters::allOf({enumeration_filters::minimumSize(10),
                                                                   enumeration_filters::image()}));
  EXPECT_EQ(sized.nodesByPath.count(dir / "small.jpg"), 0u);
  EXPECT_EQ(sized.nodesByPath.count(dir / "big.jpg"), 1u);
  EXPECT_EQ(sized.nodesByPath.count(dir / "big.txt"), 0u);
  EnumerationOptions flat;
  flat.recursively = false;
  auto shallow = walk({dir.path()}, flat);
  EXPECT_EQ(shallow.nodesByPath.count(dir / "sub"), 0u);
  EXPECT_EQ(shallow.nodesByPath.count(dir / "big.txt"), 1u);
}

TEST_F(EnumerationTest, ApplicationBundlesAreOneNodeAndMusicLibrariesAreRecognised) {
  dir.file("Tool.app/Contents/Info.plist",
           "<plist><dict><key>CFBundleIdentifier</key><string>com.x.tool</string></dict></plist>");
  dir.file("Tool.app/Contents/MacOS/tool", "binary");
  auto result = walk({dir.path()});
  ASSERT_EQ(result.nodesByPath.count(dir / "Tool.app"), 1u);
  EXPECT_EQ(result.nodesByPath.at(dir / "Tool.app")->type(), NodeType::macApplication);
  EXPECT_EQ(result.nodesByPath.count(dir / "Tool.app/Contents"), 0u);
}

TEST_F(EnumerationTest, ItemsInsidePackagesAreNeverDuplicatesOnTheirOwn) {
  dir.file("Report.pages/Data/image.png", "x");
  dir.file("Report.pages/Index.xml", "x");
  dir.file("loose.png", "x");
  auto result = walk({dir.path()});
  const auto& deep = result.nodesByPath.at(dir / "Report.pages/Data/image.png");
  EXPECT_TRUE(deep->isChildOfBundle());
  EXPECT_FALSE(deep->isModelingIntoDuplicateAllowed());
  EXPECT_TRUE(result.nodesByPath.at(dir / "Report.pages/Index.xml")->isChildOfBundle());
  EXPECT_FALSE(result.nodesByPath.at(dir / "Report.pages")->isChildOfBundle());
  EXPECT_TRUE(result.nodesByPath.at(dir / "loose.png")->isModelingIntoDuplicateAllowed());
}

TEST_F(EnumerationTest, APausedWalkParksItsRequestsAndFinishesOnlyAfterResume) {
  dir.file("a/1.txt", "1");
  dir.file("b/2.txt", "2");
  std::atomic<bool> paused{true};
  auto factoryPtr = MatchingNodesFactory::make(rules, resolver);
  auto& factory = *factoryPtr;
  auto queue = OperationQueue::make("enumeration", 2, QualityOfService::userInitiated);
  std::mutex mutex;
  std::set<std::string> seen;
  auto specs = EnumerationSpecification::acceptableSpecifications({{ScanLocation::make(dir.path(), resolver), {}}},
                                                                   *rules, resolver);
  EnumerationOptions options;
  options.shouldWaitUntilFinish = false;
  auto enumeration = MatchingNodesEnumerator::enumerate(
      specs, factory, queue, options, [&] { return paused ? FileSystemEnumerationStatus::paused : FileSystemEnumerationStatus::allowed; },
      [&](const MatchingNodePtr&, const std::string& url) {
        std::lock_guard lock(mutex);
        seen.insert(url);
      });
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(enumeration->parkedRequestCount(), 1u);
  paused = false;
  enumeration->resume();
  enumeration->waitUntilFinished();  // returns only now: a paused walk is not finished
  EXPECT_EQ(seen.size(), 5u);
}

TEST_F(EnumerationTest, AWalkWaitsWhileItsBacklogIsFullAndFinishesOnceItIsWorkedOff) {
  constexpr int kFolders = 40;
  constexpr int kFilesPerFolder = 10;
  for (int folder = 0; folder < kFolders; ++folder) {
    for (int file = 0; file < kFilesPerFolder; ++file) {
      dir.file("d" + std::to_string(folder) + "/f" + std::to_string(file), "x");
    }
  }
  auto factory = MatchingNodesFactory::make(rules, resolver);
  auto specs = EnumerationSpecification::acceptableSpecifications({{ScanLocation::make(dir.path(), resolver), {}}},
                                                                   *rules, resolver);
  auto queue = OperationQueue::make("enumeration", 2, QualityOfService::userInitiated);
  EnumerationOptions options;
  options.shouldWaitUntilFinish = false;
  options.backlog = std::make_shared<Backlog>(30, 10);
  std::mutex mutex;
  size_t seen = 0;
  size_t held = 0;  // handed over and not worked off yet
  bool worksOffAtOnce = false;
  auto enumeration = MatchingNodesEnumerator::enumerate(
      specs, *factory, queue, options, {}, {}, {}, [&](const std::vector<MatchingNodePtr>& nodes) {
        options.backlog->add(nodes.size());
        std::lock_guard lock(mutex);
        seen += nodes.size();
        held += nodes.size();
        if (worksOffAtOnce) options.backlog->remove(std::exchange(held, 0));
      });
  queue->waitUntilAllOperationsAreFinished();
  constexpr size_t kAll = kFolders * (kFilesPerFolder + 1) + 1;
  {
    std::lock_guard lock(mutex);
    EXPECT_LT(seen, kAll);
    // Past the high mark by at most what the two listings under way handed over.
    EXPECT_LE(seen, 30u + 2 * (kFilesPerFolder + 1));
    EXPECT_GT(options.backlog->deferredCount(), 0u);
    worksOffAtOnce = true;
  }
  size_t workedOff = 0;
  {
    std::lock_guard lock(mutex);
    workedOff = std::exchange(held, 0);
  }
  options.backlog->remove(workedOff);  // runs the kept listings
  enumeration->waitUntilFinished();
  std::lock_guard lock(mutex);
  EXPECT_EQ(seen, kAll);
  EXPECT_EQ(options.backlog->size(), 0u);
}

TEST_F(EnumerationTest, AFolderOfManyEntriesIsListedCompletely) {
  constexpr int kCount = 100000;
  for (int i = 0; i < kCount; ++i) dir.file("many/f" + std::to_string(i), "");
  auto result = walk({dir / "many"});
  EXPECT_EQ(result.nodesByPath.size(), static_cast<size_t>(kCount) + 1);
}

}  // namespace
}  // namespace zarnik
