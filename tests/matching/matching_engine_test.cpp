#include "support/test_dir.h"

#include "base/path_components.h"
#include "matching/exact_hashing.h"
#include "matching/match_candidates_provider.h"
#include "matching/matching_nodes_factory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace zarnik {
namespace {

using testing::TestDir;
namespace fs = std::filesystem;

// A delegate that records requests and answers hashes with a digest made from the node's name
// prefix, so tests decide which files are "equal".
class RecordingDelegate final : public EquivalenceCandidatesProviderDelegate, public ContentReader {
 public:
  std::mutex mutex;
  std::vector<std::string> hashRequests;
  std::vector<std::pair<ByteCount, size_t>> matches;  // size, number of reported members
  bool answerHashes = true;
  bool letsFilesWaitByName = false;

  [[nodiscard]] ParkedFileNode parked(const MatchingNodePtr& node) const override {
    return {node, letsFilesWaitByName};
  }

  Future<Void> calculateHash(const MatchingNodePtr& node, HashKind,
                             EquivalenceCandidatesProviderImpl& provider) override {
    {
      std::lock_guard lock(mutex);
      hashRequests.emplace_back(node->name());
    }
    if (answerHashes) {
      ExactFileHash hash;
      hash.size = node->attributes().exactSize;
      hash.data[0] = static_cast<std::uint8_t>(node->name()[0]);
      node->setExactFileHash(hash);
      provider.add(node, std::make_shared<ExactHashEquivalenceInfo>(hash));
    }
    return makeSucceededFuture(Void{});
  }
  Future<Void> matchSymLink(const MatchingNodePtr&, EquivalenceCandidatesProviderImpl&) override {
    return makeSucceededFuture(Void{});
  }
  void didMatchDuplicates(ByteCount ofSize, const std::vector<DuplicateCandidatePtr>& duplicates,
                          const EquivalenceCandidate&,
                          EquivalenceCandidatesProviderImpl&) override {
    std::lock_guard lock(mutex);
    matches.emplace_back(ofSize, duplicates.size());
  }
  void didUnmatchDuplicates(const std::vector<DuplicateCandidatePtr>&, const EquivalenceCandidate&,
                            EquivalenceCandidatesProviderImpl&) override {}
  void accumulationProgressChanged(int, int, const std::optional<std::string>&,
                                   EquivalenceCandidatesProviderImpl&) override {}
};

class MatchingEngineTest : public ::testing::Test {
 protected:
  TestDir dir;
  OVURLResolver resolver{"/nonexistent-home"};
  std::shared_ptr<ExtendedScanRules> rules = std::make_shared<ExtendedScanRules>();
  std::shared_ptr<MatchingNodesFactory> factoryPtr = MatchingNodesFactory::make(rules, resolver);
  MatchingNodesFactory& factory = *factoryPtr;
  ScanLocationPtr location;
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();

  void SetUp() override { location = ScanLocation::make(dir.path(), resolver); }

  MatchingNodePtr node(const std::string& name, size_t size) {
    dir.fileOfSize(name, size);
    auto attributes = NodeAttributes::resourceValuesOf(dir / name);
    return factory.buildNode(nullptr, name, dir / name, *attributes, location);
  }

  std::shared_ptr<EquivalenceCandidatesProviderImpl> provider(
      const std::vector<EquivalenceKind>& kinds = {EquivalenceKind::exactSize,
                                                   EquivalenceKind::exactHash},
      EquivalenceCandidatesAccumulationMode mode = EquivalenceCandidatesAccumulationMode::finite) {
    auto provider =
        EquivalenceCandidatesProviderImpl::make(rules, nullptr, delegate, mode, nullptr, kinds);
    provider->setContentReader(delegate);
    return provider;
  }
};

TEST_F(MatchingEngineTest, TheSizeStageHashesOnlyOnCollisionsAndTheFirstFileOnlyWithTheSecond) {
  // Whether or not the size stage keeps its members (a scan that will not merge lets it forget
  // them), it asks for the same digests and the same group comes out.
  for (const bool keepsMembers : {true, false}) {
    SCOPED_TRACE(keepsMembers ? "keeping members" : "forgetting members");
    delegate->hashRequests.clear();
    delegate->answerHashes = true;
    auto engine = provider();
    engine->setKeepsSizeStageMembers(keepsMembers);
    engine->add(node("a1", 100), std::make_shared<SizeEquivalenceInfo>(100));
    (void)engine->nodeByPath();  // drains the queue
    EXPECT_TRUE(delegate->hashRequests.empty());
    engine->add(node("a2", 100), std::make_shared<SizeEquivalenceInfo>(100));
    (void)engine->nodeByPath();
    EXPECT_EQ(delegate->hashRequests, (std::vector<std::string>{"a1", "a2"}));
    // A file whose digest is asked for but never given is held by the size stage alone.
    delegate->answerHashes = false;
    auto third = node("a3", 100);
    const std::weak_ptr<MatchingNode> thirdLeft = third;
    engine->add(std::exchange(third, nullptr), std::make_shared<SizeEquivalenceInfo>(100));
    engine->add(node("lonely", 7), std::make_shared<SizeEquivalenceInfo>(7));
    auto groups = engine->finishAccumulationAndProvideEquivalences().wait();
    ASSERT_TRUE(groups.hasValue());
    EXPECT_EQ(delegate->hashRequests, (std::vector<std::string>{"a1", "a2", "a3"}));
    EXPECT_EQ(thirdLeft.expired(), !keepsMembers);
    ASSERT_EQ(groups.value().size(), 1u);  // size groups are never handed out
    EXPECT_EQ(groups.value()[0]->equivalenceKind(), EquivalenceKind::exactHash);
    EXPECT_EQ(groups.value()[0]->numberOfDuplicates(), 2u);
  }
}

TEST_F(MatchingEngineTest, ALoneFileWaitsAsItsNameAndIsMadeAgainWhenASecondOfItsSizeArrives) {
  delegate->letsFilesWaitByName = true;
  auto engine = provider();
  engine->setKeepsSizeStageMembers(false);
  // The folder as a walk makes it: a root named in the location that holds it.
  const auto above = ScanLocation::make(parentPath(dir.path()), resolver);
  auto folderNode =
      factory.buildNode(nullptr, std::string(lastPathComponent(dir.path())), dir.path(),
                        *NodeAttributes::resourceValuesOf(dir.path()), above);
  auto folder = std::dynamic_pointer_cast<MatchingDirectoryNode>(folderNode);
  ASSERT_NE(folder, nullptr);
  auto fileIn = [&](const std::string& name, size_t size) {
    dir.fileOfSize(name, size);
    return factory.buildNode(folder, name, dir / name,
                             *NodeAttributes::resourceValuesOf(dir / name), above);
  };

  auto first = fileIn("b1", 300);
  const std::weak_ptr<MatchingNode> firstLeft = first;
  engine->add(std::exchange(first, nullptr), std::make_shared<SizeEquivalenceInfo>(300));
  engine->add(fileIn("c1", 400), std::make_shared<SizeEquivalenceInfo>(400));
  (void)engine->nodeByPath();  // drains the queue
  EXPECT_TRUE(firstLeft.expired()) << "no node is kept for a file alone of its size";
  fs::remove(dir / "c1");  // gone before a second file of its size is listed

  engine->add(fileIn("b2", 300), std::make_shared<SizeEquivalenceInfo>(300));
  engine->add(fileIn("c2", 400), std::make_shared<SizeEquivalenceInfo>(400));
  auto groups = engine->finishAccumulationAndProvideEquivalences().wait();
  ASSERT_TRUE(groups.hasValue());
  EXPECT_EQ(delegate->hashRequests, (std::vector<std::string>{"b1", "b2", "c2"}))
      << "a waiting file that went is not asked for";
  ASSERT_EQ(groups.value().size(), 1u);
  std::vector<std::string> paths;
  for (const auto& member : groups.value()[0]->duplicates()) {
    paths.push_back(member->node()->path());
    EXPECT_EQ(member->node()->parentNode(), folder);
  }
  EXPECT_EQ(paths, (std::vector<std::string>{dir / "b1", dir / "b2"}));
}

TEST_F(MatchingEngineTest, DifferentContentGivesSingleGroupsThatAreClaimedButNotHandedOut) {
  auto engine = provider();
  auto x = node("x", 50);
  auto y = node("y", 50);
  engine->add(x, std::make_shared<SizeEquivalenceInfo>(50));
  engine->add(y, std::make_shared<SizeEquivalenceInfo>(50));
  auto groups = engine->finishAccumulationAndProvideEquivalences().wait();
  EXPECT_TRUE(groups.value().empty());
  EXPECT_TRUE(x->claimers.contains(Claimers::exactMatch));
  EXPECT_TRUE(y->claimers.contains(Claimers::exactMatch));
}

TEST_F(MatchingEngineTest, MatchReportsBothMembersAtTwoAndOnlyTheNewOneAfter) {
  auto engine = provider({EquivalenceKind::exactHash});
  auto hashInfo = [](ByteCount size) {
    ExactFileHash hash;
    hash.size = size;
    return std::make_shared<ExactHashEquivalenceInfo>(hash);
  };
  engine->add(node("m1", 10), hashInfo(10));
  engine->add(node("m2", 10), hashInfo(10));
  engine->add(node("m3", 10), hashInfo(10));
  (void)engine->finishAccumulationAndProvideEquivalences().wait();
  ASSERT_EQ(delegate->matches.size(), 2u);
  EXPECT_EQ(delegate->matches[0].second, 2u);
  EXPECT_EQ(delegate->matches[1].second, 1u);
  EXPECT_GT(delegate->matches[0].first, delegate->matches[1].first);  // two sizes, then one
}

TEST_F(MatchingEngineTest, CancellationDropsNewWorkAndStopKeepsNothing) {
  auto kept = provider();
  kept->add(node("k1", 20), std::make_shared<SizeEquivalenceInfo>(20));
  kept->add(node("k2", 20), std::make_shared<SizeEquivalenceInfo>(20));
  (void)kept->nodeByPath();
  kept->cancelAccumulation(CancellationMode::keepLightActivities);
  kept->add(node("k3", 20), std::make_shared<SizeEquivalenceInfo>(20));  // dropped
  auto keptGroups = kept->finishAccumulationAndProvideEquivalences().wait();
  ASSERT_EQ(keptGroups.value().size(), 1u);
  EXPECT_EQ(keptGroups.value()[0]->numberOfDuplicates(), 2u);

  auto stopped = provider();
  stopped->add(node("s1", 30), std::make_shared<SizeEquivalenceInfo>(30));
  stopped->add(node("s2", 30), std::make_shared<SizeEquivalenceInfo>(30));
  stopped->cancelAccumulation(CancellationMode::stopAllActivities);
  EXPECT_TRUE(stopped->finishAccumulationAndProvideEquivalences().wait().value().empty());
}

TEST_F(MatchingEngineTest, ContinuousModeRefusesToFinishAndTracksUpdatesAndRemovals) {
  auto engine = provider({EquivalenceKind::exactSize, EquivalenceKind::exactHash},
                         EquivalenceCandidatesAccumulationMode::continuous);
  auto result = engine->finishAccumulationAndProvideEquivalences().wait();
  ASSERT_TRUE(result.hasError());
  auto a = node("c1", 40);
  engine->add(a, std::make_shared<SizeEquivalenceInfo>(40));
  engine->add(node("c2", 40), std::make_shared<SizeEquivalenceInfo>(40));
  EXPECT_EQ(engine->nodeByPath().size(), 2u);
  engine->removeNodes({dir / "c1"});
  engine->update(a, std::make_shared<SizeEquivalenceInfo>(40), /*addIfAbsent=*/false);
  EXPECT_EQ(engine->nodeByPath().count(dir / "c1"), 0u);
  engine->update(a, std::make_shared<SizeEquivalenceInfo>(40), /*addIfAbsent=*/true);
  EXPECT_EQ(engine->nodeByPath().count(dir / "c1"), 1u);
}

TEST_F(MatchingEngineTest, AnEngineWithoutKindsFinishesEmptyAndMergeAdoptsGroups) {
  EXPECT_TRUE(provider({})->finishAccumulationAndProvideEquivalences().wait().value().empty());
  auto first = provider({EquivalenceKind::exactSize});
  auto second = provider({EquivalenceKind::exactSize});
  delegate->answerHashes = false;
  first->add(node("p1", 60), std::make_shared<SizeEquivalenceInfo>(60));
  second->add(node("p2", 60), std::make_shared<SizeEquivalenceInfo>(60));
  second->add(node("p3", 61), std::make_shared<SizeEquivalenceInfo>(61));
  (void)second->nodeByPath();
  const std::set<std::string> skipped = {dir / "p3"};
  auto merged = first->merge(*second, &skipped);
  EXPECT_EQ(first->nodeByPath().size(), 2u);
  size_t members = 0;
  for (const auto& group : merged) members += group->numberOfDuplicates();
  EXPECT_EQ(members, 2u);
}

TEST(FileRangeAnalytics, SamplesFourChunksAndReadsSmallFilesAndWavWhole) {
  constexpr ByteCount kMiB = 1'048'576;
  auto small = FileRangeAnalytics::make("a.bin", 4, 1, 3 * kMiB + kMiB / 2);
  ASSERT_TRUE(small.has_value());
  EXPECT_EQ(small->rangesToRead.size(), 4u);
  EXPECT_TRUE(small->readsWholeFile());
  auto five = FileRangeAnalytics::make("a.bin", 4, 1, 5 * kMiB);
  EXPECT_EQ(five->rangesToRead.back(),
            (ByteRange{3 * kMiB, 4 * kMiB}));  // the last MiB is not read
  EXPECT_FALSE(five->readsWholeFile());
  auto ten = FileRangeAnalytics::make("a.bin", 4, 1, 10 * kMiB);
  std::vector<ByteCount> starts;
  for (const auto& range : ten->rangesToRead) starts.push_back(range.start / kMiB);
  EXPECT_EQ(starts, (std::vector<ByteCount>{0, 3, 6, 9}));
  auto wav = FileRangeAnalytics::make("song.WAV", 4, 1, 10 * kMiB);
  EXPECT_TRUE(wav->readsWholeFile());
  EXPECT_FALSE(FileRangeAnalytics::make("empty", 4, 1, 0).has_value());
}

TEST(ExactHashing, SampledDigestIgnoresUnreadChunksButWavIsReadWhole) {
  TestDir dir;
  constexpr size_t kMiB = 1'048'576;
  std::string content(10 * kMiB, 'a');
  for (size_t i = 0; i < content.size(); i += 4096) content[i] = static_cast<char>(i / 4096);
  dir.file("one.bin", content);
  std::string changed = content;
  changed[kMiB + 10] ^= 1;  // inside the second MiB, which is not read
  dir.file("two.bin", changed);
  dir.file("one.wav", content);
  dir.file("two.wav", changed);
  auto hash = [&](const char* name) {
    return calculateExactFileHash({dir / name, 4, 1, static_cast<ByteCount>(content.size())});
  };
  ASSERT_TRUE(hash("one.bin").hasValue());
  EXPECT_EQ(hash("one.bin").value(), hash("two.bin").value());
  EXPECT_NE(hash("one.wav").value(), hash("two.wav").value());
  std::string third = content;
  third[3 * kMiB] ^= 1;  // inside a sampled chunk
  dir.file("three.bin", third);
  EXPECT_NE(hash("one.bin").value(), hash("three.bin").value());

  // A twin read beside a digested file is equal exactly when its own digest would be.
  for (const auto& [first, second] :
       std::vector<std::pair<const char*, const char*>>{{"one.bin", "two.bin"},
                                                        {"one.wav", "two.wav"},
                                                        {"one.bin", "three.bin"},
                                                        {"three.bin", "one.bin"}}) {
    SCOPED_TRACE(std::string(first) + " beside " + second);
    auto twin = calculateExactFileHashWithTwin(
        {dir / first, 4, 1, static_cast<ByteCount>(content.size())}, dir / second);
    ASSERT_TRUE(twin.hasValue());
    EXPECT_EQ(twin.value().hash, hash(first).value());
    EXPECT_EQ(twin.value().twinIsEqual, hash(first).value() == hash(second).value());
  }
}

TEST(ExactHashing, ASmallTwinIsEqualOnlyWithTheSameBytesAndLength) {
  TestDir dir;
  dir.file("abc", "abc");
  dir.file("abc copy", "abc");
  dir.file("abd", "abd");
  dir.file("abcd", "abcd");  // longer than the size both were listed with
  const auto twinIsEqual = [&](const char* twin) {
    auto digest = calculateExactFileHashWithTwin({dir / "abc", 4, 1, 3}, dir / twin);
    EXPECT_TRUE(digest.hasValue());
    EXPECT_EQ(hexJson(digest.value().hash.dataBytes()), "a9993e364706816aba3e25717850c26c9cd0d89d");
    return digest.value().twinIsEqual;
  };
  EXPECT_TRUE(twinIsEqual("abc copy"));
  EXPECT_FALSE(twinIsEqual("abd"));
  EXPECT_FALSE(twinIsEqual("abcd"));
  EXPECT_FALSE(twinIsEqual("gone"));
  // A file compared with a reference digested before: equal only while the reference is as it
  // was listed.
  const Date listed = NodeAttributes::resourceValuesOf(dir / "abc")->dateOfModification;
  EXPECT_TRUE(hasSampledContentOf({dir / "abc copy", 4, 1, 3}, dir / "abc", listed).value());
  EXPECT_FALSE(hasSampledContentOf({dir / "abd", 4, 1, 3}, dir / "abc", listed).value());
  EXPECT_FALSE(hasSampledContentOf({dir / "abc copy", 4, 1, 3}, dir / "abc",
                                   listed + std::chrono::seconds(1))
                   .value());
  EXPECT_TRUE(hasSampledContentOf({dir / "gone", 4, 1, 3}, dir / "abc", listed).hasError());
  // The digested file's own failure is the result's, whatever the twin.
  auto vanished = calculateExactFileHashWithTwin({dir / "gone", 4, 1, 3}, dir / "abc");
  ASSERT_TRUE(vanished.hasError());
  EXPECT_EQ(vanished.error().path, dir / "gone");
}

TEST(ExactHashing, KnownDigestAndFailuresCarryTheirCodes) {
  TestDir dir;
  dir.file("abc.txt", "abc");
  auto digest = calculateExactFileHash({dir / "abc.txt", 4, 1, 3});
  ASSERT_TRUE(digest.hasValue());
  EXPECT_EQ(hexJson(digest.value().dataBytes()),
            "a9993e364706816aba3e25717850c26c9cd0d89d");  // SHA-1("abc")
  dir.file("empty", "");
  EXPECT_EQ(calculateExactFileHash({dir / "empty", 4, 1, 0}).error().code,
            FileServicesError::hashingFailedForUnknownReason);
  auto changed = calculateExactFileHash({dir / "abc.txt", 4, 1, 4});  // listed with another size
  ASSERT_TRUE(changed.hasError());
  EXPECT_EQ(changed.error().code, FileServicesError::exactHashingFailedToAnalyze);
  auto grown = calculateExactFileHash({dir / "abc.txt", 4, 1, 2});  // longer than listed
  ASSERT_TRUE(grown.hasError());
  EXPECT_EQ(grown.error().code, FileServicesError::exactHashingFailedToAnalyze);
  // Something other than a file put in a listed file's place fails without blocking.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_TRUE(calculateExactFileHash({dir / "fifo", 4, 1, 3}).hasError());
  std::filesystem::create_directory(dir / "folder");
  EXPECT_TRUE(calculateExactFileHash({dir / "folder", 4, 1, 3}).hasError());
  auto vanished = calculateExactFileHash({dir / "gone", 4, 1, 3});
  ASSERT_TRUE(vanished.hasError());
  EXPECT_EQ(vanished.error().domain, FileServicesError::kDomain);
  EXPECT_EQ(vanished.error().path, dir / "gone");
}

TEST(ThresholdEvaluator, PicksTheSizeWhereManySmallFilesHoldLittleOfTheTotal) {
  std::vector<ByteCount> sizes(1000, 100);     // many small duplicates
  sizes.insert(sizes.end(), 10, 100'000'000);  // a few large ones hold almost everything
  const ByteCount threshold = ThresholdEvaluator::automaticThreshold(sizes, 0.1);
  EXPECT_EQ(threshold, 100);
  std::vector<ByteCount> spread;
  for (int i = 1; i <= 50; ++i) spread.push_back(std::int64_t{i} * 1000);
  const ByteCount spreadThreshold = ThresholdEvaluator::automaticThreshold(spread, 0.1);
  EXPECT_GE(spreadThreshold, 1000);
  EXPECT_LE(spreadThreshold, 50000);
  EXPECT_EQ(ThresholdEvaluator::automaticThreshold({42}, 0.1), 42);
}

TEST(Claimers, TheStrongestClaimerIsOnTop) {
  Claimers claimers;
  claimers.insert(Claimers::similarMatch);
  EXPECT_TRUE(claimers.isTop(Claimers::similarMatch));
  claimers.insert(Claimers::exactMatch);
  EXPECT_FALSE(claimers.isTop(Claimers::similarMatch));
  EXPECT_TRUE(claimers.isTop(Claimers::exactMatch));
  claimers.insert(Claimers::directoryMatch);
  EXPECT_FALSE(claimers.isTop(Claimers::exactMatch));
}

}  // namespace
}  // namespace zarnik

#include <fcntl.h>
#include <unistd.h>

namespace zarnik {
namespace {

TEST(ExactHashing, SparseFilesOverFourGibibytesAreSampledAtTheirFarChunks) {
  TestDir dir;
  constexpr ByteCount kSize = 5LL << 30;
  auto makeSparse = [&](const char* name, std::optional<ByteCount> markAt) {
    const std::string path = dir / name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, kSize), 0);
    if (markAt) {
      ASSERT_EQ(::pwrite(fd, "x", 1, *markAt), 1);
    }
    ::close(fd);
  };
  // 5,120 chunks of 1 MiB with a step of 5120 / 3 = 1706: the sampled ones are 0, 1706, 3412 and
  // 5118, so the last MiB is not read.
  makeSparse("a.img", std::nullopt);
  makeSparse("b.img", std::nullopt);
  makeSparse("c.img", (5118LL << 20) + 10);
  makeSparse("d.img", (5119LL << 20) + 10);  // a chunk that is not read
  auto hash = [&](const char* name) { return calculateExactFileHash({dir / name, 4, 1, kSize}); };
  ASSERT_TRUE(hash("a.img").hasValue()) << hash("a.img").error().oneLine();
  EXPECT_EQ(hash("a.img").value().size, kSize);
  EXPECT_EQ(hash("a.img").value(), hash("b.img").value());
  EXPECT_NE(hash("a.img").value(), hash("c.img").value());
  EXPECT_EQ(hash("a.img").value(), hash("d.img").value());
}

TEST(ExactHashing, ACancelledDigestOfALargeFileStopsBetweenBlocksAndSaysSo) {
  // A WAV file is read whole: 2 GiB would take seconds; a cancelled digest gives up at the
  // next block, whether it was cancelled before the reading began or while it went on.
  TestDir dir;
  constexpr ByteCount kSize = 2LL << 30;
  const std::string path = dir / "long.wav";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, kSize), 0);
  ::close(fd);

  auto before = CancellationToken::make();
  before->cancel();
  ExactFileHashingServiceRequest request{path, 4, 1, kSize};
  request.cancellation = before;
  auto stoppedAtOnce = calculateExactFileHash(request);
  ASSERT_TRUE(stoppedAtOnce.hasError());
  EXPECT_TRUE(stoppedAtOnce.error().isCancellation()) << stoppedAtOnce.error().oneLine();

  auto during = CancellationToken::make();
  request.cancellation = during;
  Result<ExactFileHash> stoppedMidway = Error::generic("not run");
  std::thread reader([&] { stoppedMidway = calculateExactFileHash(request); });
  during->cancel();
  reader.join();
  ASSERT_TRUE(stoppedMidway.hasError());
  EXPECT_TRUE(stoppedMidway.error().isCancellation()) << stoppedMidway.error().oneLine();
}

}  // namespace
}  // namespace zarnik
