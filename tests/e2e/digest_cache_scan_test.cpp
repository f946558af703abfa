// Black-box tests of the digest cache as scans use it: a rescan takes what it learnt of
// unchanged files, never of changed ones, and a damaged or shared cache changes no result.
#include "e2e/zarnik_runner.h"
#include "support/test_dir.h"

#include "base/json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace zarnik {
namespace {

using testing::quoted;
using testing::runZarnik;
using testing::runZarnikWith;

using Groups = std::set<std::set<std::string>>;

Groups groupsOf(const std::string& json) {
  Groups groups;
  auto document = parseJson(json);
  if (document.hasError()) return groups;
  for (const auto& group : document.value()["groups"]) {
    std::set<std::string> paths;
    for (const auto& duplicate : group["duplicates"])
      paths.insert(*bytesFromJson(duplicate["path"]));
    groups.insert(paths);
  }
  return groups;
}

// "[scan] Digests known from earlier scans: K of N" as {K, N}; {-1, -1} when missing.
std::pair<long, long> knownContents(const std::string& err) {
  std::smatch match;
  static const std::regex line(R"(known from earlier scans: (\d+) of (\d+))");
  if (!std::regex_search(err, match, line)) return {-1, -1};
  return {std::stol(match[1]), std::stol(match[2])};
}

std::string randomBytes(size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (auto& byte : bytes) byte = static_cast<char>(generator());
  return bytes;
}

// Where the digests of the tests' files are kept: files of 64 KiB and more with the rest of
// the cache, smaller ones in a table of their own.
struct CacheHome {
  const char* name;
  size_t fileSize;
  const char* cacheFile;  // in $XDG_CACHE_HOME/zarnik
};

class DigestCacheScanTest : public testing::ZarnikProgramTest,
                            public ::testing::WithParamInterface<CacheHome> {
 protected:
  size_t fileSize() const { return GetParam().fileSize; }
  std::string cacheFile() const {
    return scratch / (std::string("cache/zarnik/") + GetParam().cacheFile);
  }
  // Three copies and a file of their size that differs after the first block.
  void makeTree() {
    const std::string copy = randomBytes(fileSize(), 1);
    std::string other = copy;
    other[fileSize() * 3 / 10] ^= 0x55;
    for (const char* name : {"a/copy.bin", "b/copy.bin", "c/copy.bin"}) tree.file(name, copy);
    tree.file("d/other.bin", other);
  }
  // A file changed within two seconds before it is read is not kept (a second write in the
  // same clock tick would go unseen): let the tree settle, as a person's files have.
  static void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(2100)); }
  testing::Run scan() {
    return runZarnik("scan -q -v --exact --min-size 0 --json " + quoted(tree.path()), scratch);
  }
  const Groups threeCopies{{"a/copy.bin", "b/copy.bin", "c/copy.bin"}};
};

TEST_P(DigestCacheScanTest,
       ARescanReadsNothingUnchangedButAFileRewrittenInPlaceIsReadAgainAndLeavesItsGroup) {
  makeTree();
  settle();
  const auto first = scan();
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(groupsOf(first.out), threeCopies);
  EXPECT_EQ(knownContents(first.err).first, 0) << first.err;

  const auto second = scan();
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(groupsOf(second.out), threeCopies);
  const auto [known, total] = knownContents(second.err);
  EXPECT_GT(total, 0) << second.err;
  EXPECT_EQ(known, total) << second.err;

  // The same size, other bytes, and the modification time set back as `touch -d` would.
  struct stat before {};
  ASSERT_EQ(::stat((tree / "c/copy.bin").c_str(), &before), 0);
  {
    std::fstream file(tree / "c/copy.bin", std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(
        std::max<size_t>(5000, fileSize() / 5)));  // past the first block
    file.write("changed", 7);
  }
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, (tree / "c/copy.bin").c_str(), times, 0), 0);
  settle();

  const auto third = scan();
  ASSERT_EQ(third.status, 0) << third.err;
  EXPECT_EQ(groupsOf(third.out), (Groups{{"a/copy.bin", "b/copy.bin"}}));
  const auto [knownAfter, totalAfter] = knownContents(third.err);
  EXPECT_LT(knownAfter, totalAfter) << "the rewritten file was read again: " << third.err;

  const auto uncached = runZarnik(
      "scan -q -v --no-cache --exact --min-size 0 --json " + quoted(tree.path()), scratch);
  EXPECT_EQ(groupsOf(uncached.out), groupsOf(third.out));
  EXPECT_EQ(knownContents(uncached.err).first, 0) << uncached.err;
}

TEST_P(DigestCacheScanTest, ADamagedCacheIsReplacedAndChangesNoResult) {
  makeTree();
  settle();
  const std::string cacheFile = this->cacheFile();
  ASSERT_EQ(scan().status, 0);
  std::ifstream in(cacheFile, std::ios::binary);
  const std::string valid((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(valid.size(), 100u) << "the first scan kept its digests";

  std::string newer = valid;
  newer[8] = 2;  // the table's format number, after its 8 bytes of name
  const std::vector<std::pair<const char*, std::string>> damages = {
      {"truncated", valid.substr(0, valid.size() / 3)},
      {"random bytes", randomBytes(valid.size(), 7)},
      GetParam().fileSize < 65536
          ? std::pair<const char*, std::string>{"of a newer format", newer}
          : std::pair<const char*, std::string>{
                "another program's file",
                "SQLite format 3" + std::string(1, '\0') + randomBytes(8192, 9)}};
  for (const auto& [what, bytes] : damages) {
    SCOPED_TRACE(what);
    std::remove((cacheFile + "-wal").c_str());
    std::remove((cacheFile + "-shm").c_str());
    std::ofstream(cacheFile, std::ios::binary | std::ios::trunc) << bytes;
    const auto damaged = scan();
    ASSERT_EQ(damaged.status, 0) << damaged.err;
    EXPECT_EQ(groupsOf(damaged.out), threeCopies);
    EXPECT_EQ(knownContents(damaged.err).first, 0)
        << "nothing is taken from a damaged cache: " << damaged.err;
    const auto rebuilt = scan();
    const auto [known, total] = knownContents(rebuilt.err);
    EXPECT_EQ(groupsOf(rebuilt.out), threeCopies);
    EXPECT_EQ(known, total) << "the cache was rebuilt: " << rebuilt.err;
  }
}

TEST_P(DigestCacheScanTest, TwoScansAtOnceShareTheCacheAndBothAreRight) {
  makeTree();
  const size_t pairSize = fileSize() * 7 / 10;
  for (int i = 0; i < 40; ++i)
    tree.file("e/pair" + std::to_string(i) + ".bin", randomBytes(pairSize + i, 100 + i));
  for (int i = 0; i < 40; ++i)
    tree.file("f/pair" + std::to_string(i) + ".bin", randomBytes(pairSize + i, 100 + i));
  settle();
  testing::TestDir otherScratch;
  const std::string arguments = "scan -q -v --exact --min-size 0 --json " + quoted(tree.path());
  testing::Run one;
  testing::Run two;
  std::thread first([&] { one = runZarnikWith("", arguments, scratch); });
  std::thread second([&] {
    two = runZarnikWith("XDG_DATA_HOME=" + quoted(otherScratch / "data") +
                            " XDG_STATE_HOME=" + quoted(otherScratch.path()),
                        arguments, otherScratch);
  });
  first.join();
  second.join();
  ASSERT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(two.status, 0) << two.err;
  EXPECT_EQ(groupsOf(one.out).size(), 41u);
  EXPECT_EQ(groupsOf(one.out), groupsOf(two.out));

  const auto after = scan();
  EXPECT_EQ(groupsOf(after.out), groupsOf(one.out));
  const auto [known, total] = knownContents(after.err);
  EXPECT_EQ(known, total) << "what both scans learnt is in the cache: " << after.err;
}

INSTANTIATE_TEST_SUITE_P(Homes, DigestCacheScanTest,
                         ::testing::Values(CacheHome{"LargeFiles", 100000, "digests.db"},
                                           CacheHome{"SmallFiles", 20000,
                                                     "digests.db-small-files"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zarnik
