// Records N entries in a new digest cache (a first-block fingerprint and a sampled digest each, as
// a first scan of small files leaves them), then opens the cache again and looks every entry up
// from 2 threads in batches of 16, as a rescan does, in inode order and in random order. Reports
// the time per record and per lookup (wall and processor), the file's size, the time to open it,
// what a full integrity check and a count of the entries would cost at that size, and the time
// to prune the least recently used entries when the maximum falls below the count.
//   digest_cache_bench [FOLDER] [N...]     (default: a temporary folder, 200000 and 1000000)
#include "foundation/operation_queue.h"
#include "matching/digest_cache.h"
#include "platform/sqlite_database.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace zarnik;
using Clock = std::chrono::steady_clock;

constexpr size_t kThreads = 2;
constexpr size_t kBatch = 16;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The processor time of the whole process: on a machine shared with other work, wall time
// says more about the neighbours than about the cache.
double processorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::vector<DigestCacheKey> makeKeys(size_t count) {
  std::mt19937_64 random(42);
  std::vector<DigestCacheKey> keys(count);
  for (size_t i = 0; i < count; ++i) {
    // Inodes of a tree made in one go are close together, as a real tree's mostly are.
    keys[i].file = FileId{2049, 1'000'000 + i * 3};
    keys[i].size = static_cast<ByteCount>(random() % 100'000);
    // Times of the last few years, to the nanosecond.
    constexpr std::uint64_t kYears = 100'000'000'000'000'000;
    keys[i].modified =
        Date(std::chrono::nanoseconds(1'600'000'000'000'000'000 + random() % kYears));
    keys[i].changed = Date(std::chrono::nanoseconds(1'600'000'000'000'000'000 + random() % kYears));
  }
  return keys;
}

DigestCacheValues valuesFor(const DigestCacheKey& key) {
  DigestCacheValues values;
  values.contentPrefixHash = key.file.inode * 0x9E3779B97F4A7C15ULL;
  ExactFileHash digest;
  for (size_t i = 0; i < digest.data.size(); ++i)
    digest.data[i] = static_cast<std::uint8_t>(key.file.inode >> (i % 8));
  digest.size = key.size;
  values.sampledDigest = digest;
  return values;
}

std::shared_ptr<DigestCache> openCache(const std::string& path, size_t maximum) {
  DigestCacheOptions options;
  options.path = path;
  options.maximumEntries = static_cast<std::int64_t>(maximum);
  auto cache = DigestCache::open(options);
  if (cache.hasError()) {
    std::fprintf(stderr, "%s\n", cache.error().oneLine().c_str());
    std::exit(1);
  }
  return cache.value();
}

// Looks every key up in batches from kThreads threads; returns the number of hits.
size_t lookUpAll(DigestCache& cache, const std::vector<DigestCacheKey>& keys) {
  auto queue =
      OperationQueue::make("bench.digest-cache", kThreads, QualityOfService::userInitiated);
  std::atomic<size_t> hits{0};
  const size_t share = (keys.size() + kThreads - 1) / kThreads;
  for (size_t thread = 0; thread < kThreads; ++thread) {
    queue->addOperation([&, thread] {
      const size_t end = std::min(keys.size(), (thread + 1) * share);
      size_t found = 0;
      for (size_t at = thread * share; at < end; at += kBatch) {
        const auto batch = std::span(keys).subspan(at, std::min(kBatch, end - at));
        for (const auto& values : cache.lookupMany(batch)) found += values.has_value() ? 1 : 0;
      }
      hits += found;
    });
  }
  queue->waitUntilAllOperationsAreFinished();
  return hits;
}

double timedStatement(const std::string& path, const char* sql) {
  auto database = SqliteDatabase::open(path);
  if (database.hasError()) return -1;
  const auto start = Clock::now();
  auto statement = database.value()->prepare(sql);
  if (statement.hasValue()) (void)statement.value().step();
  return secondsSince(start);
}

void run(const std::string& folder, size_t count) {
  const std::string path = folder + "/digests-" + std::to_string(count) + ".db";
  (void)SqliteDatabase::removeFiles(path);
  const auto keys = makeKeys(count);
  double recordSeconds = 0;
  double recordProcessor = 0;
  {
    auto cache = openCache(path, count * 2);
    const auto start = Clock::now();
    const double processor = processorSeconds();
    for (const auto& key : keys) cache->record(key, valuesFor(key));
    (void)cache->flush().wait();
    recordSeconds = secondsSince(start);
    recordProcessor = processorSeconds() - processor;
  }
  const auto shuffled = [&keys] {
    auto copy = keys;
    std::shuffle(copy.begin(), copy.end(), std::mt19937_64(7));
    return copy;
  }();
  for (const auto* order : {&keys, &shuffled}) {
    const auto opening = Clock::now();
    auto cache = openCache(path, count * 2);
    const double openSeconds = secondsSince(opening);
    const auto start = Clock::now();
    const double processor = processorSeconds();
    const size_t hits = lookUpAll(*cache, *order);
    const double lookupSeconds = secondsSince(start);
    const double lookupProcessor = processorSeconds() - processor;
    const auto perEntry = [count](double seconds) {
      return seconds * 1e6 / static_cast<double>(count);
    };
    std::printf(
        "{\"entries\": %zu, \"order\": \"%s\", \"record_us\": %.2f, \"record_cpu_us\": %.2f, "
        "\"open_ms\": %.1f, "
        "\"lookup_us\": %.3f, \"lookup_cpu_us\": %.3f, \"lookups_s\": %.3f, \"hits\": %zu, "
        "\"file_mb\": %.1f}\n",
        count, order == &keys ? "inode" : "random", perEntry(recordSeconds),
        perEntry(recordProcessor), openSeconds * 1e3, perEntry(lookupSeconds),
        perEntry(lookupProcessor), lookupSeconds, hits,
        static_cast<double>(std::filesystem::file_size(path)) / 1e6);
  }
  std::printf("{\"entries\": %zu, \"quick_check_ms\": %.1f, \"count_ms\": %.1f}\n", count,
              timedStatement(path, "PRAGMA quick_check") * 1e3,
              timedStatement(path, "SELECT count(*) FROM entries") * 1e3);
  // A maximum just under the count: the least recently used tenth and more go at once.
  const auto pruning = Clock::now();
  (void)openCache(path, count - count / 20)->flush().wait();
  std::printf("{\"entries\": %zu, \"prune_to\": %zu, \"prune_ms\": %.1f, \"file_mb\": %.1f}\n",
              count, (count - count / 20) - (count - count / 20) / 10, secondsSince(pruning) * 1e3,
              static_cast<double>(std::filesystem::file_size(path)) / 1e6);
  std::fflush(stdout);
  (void)SqliteDatabase::removeFiles(path);
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
  std::vector<size_t> counts;
  for (int i = 2; i < argc; ++i) counts.push_back(std::stoul(argv[i]));
  if (counts.empty()) counts = {200'000, 1'000'000};
  for (const size_t count : counts) run(folder, count);
  return 0;
}
