#include "matching/small_file_digest_table.h"

#include "platform/file_lock.h"
#include "platform/file_reading.h"
#include "platform/process_memory.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <functional>
#include <iterator>
#include <thread>
#include <tuple>
#include <type_traits>

namespace zarnik {

using Record = SmallFileDigestTable::Record;

namespace {

constexpr std::string_view kAuthor = "SmallFileDigestTable";
constexpr std::array<char, 8> kMagic = {'Z', 'K', 'S', 'F', 'D', 'I', 'G', '\n'};
constexpr std::uint32_t kFormat = 1;
// Two million records; a larger file is not one this program wrote.
constexpr size_t kMostBytes = size_t{160} << 20;

struct Header {
  std::array<char, 8> magic{};
  std::uint32_t format = 0;
  std::uint32_t recordSize = 0;
  std::uint64_t count = 0;
  std::uint64_t checksum = 0;
};
static_assert(sizeof(Header) == 32 && std::is_trivially_copyable_v<Header>);
static_assert(sizeof(Record) == 80 && std::is_trivially_copyable_v<Record>);

// Enough to tell damage from content: every word of the records moves the result.
std::uint64_t checksumOf(std::string_view bytes) {
  std::uint64_t sum = 0x9E3779B97F4A7C15ULL ^ bytes.size();
  size_t at = 0;
  for (; at + 8 <= bytes.size(); at += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes.data() + at, 8);
    sum = std::rotl(sum ^ (word * 0xC2B2AE3D27D4EB4FULL), 31) * 0x9E3779B185EBCA87ULL;
  }
  for (; at < bytes.size(); ++at)
    sum = (sum ^ static_cast<std::uint8_t>(bytes[at])) * 0x100000001B3ULL;
  return sum;
}

bool isBefore(const Record& a, const Record& b) {
  return std::tie(a.device, a.inode) < std::tie(b.device, b.inode);
}

bool isSameFile(const Record& a, const Record& b) {
  return a.device == b.device && a.inode == b.inode;
}

bool hasSameKey(const Record& a, const Record& b) {
  return isSameFile(a, b) && a.size == b.size && a.modified == b.modified && a.changed == b.changed;
}

Record recordOf(const DigestCacheKey& key) {
  Record record;
  record.device = key.file.device;
  record.inode = key.file.inode;
  record.size = key.size;
  record.modified = key.modified.time_since_epoch().count();
  record.changed = key.changed.time_since_epoch().count();
  return record;
}

// `newer`'s parts over `older`'s, for the same key.
void takeParts(Record& older, const Record& newer) {
  if ((newer.parts & SmallFileDigestTable::kHasPrefix) != 0) older.prefixHash = newer.prefixHash;
  if ((newer.parts & SmallFileDigestTable::kHasDigest) != 0) older.digest = newer.digest;
  older.parts |= newer.parts;
  older.lastUsedDay = std::max(older.lastUsedDay, newer.lastUsedDay);
}

// Adds a record of the file `kept` holds: parts of the same key join, and of two states of the
// file the later one stays (whichever scan saw it, whenever it saved).
void fold(Record& kept, const Record& record) {
  if (hasSameKey(kept, record)) {
    takeParts(kept, record);
  } else if (std::tie(record.changed, record.modified) > std::tie(kept.changed, kept.modified)) {
    kept = record;
  }
}

// Runs sorted by file, merged into one record a file.
std::vector<Record> merged(const std::vector<std::vector<Record>>& runs) {
  struct Cursor {
    const Record* at;
    const Record* end;
  };
  const auto later = [](const Cursor& a, const Cursor& b) { return isBefore(*b.at, *a.at); };
  std::vector<Cursor> heap;
  size_t total = 0;
  for (const auto& run : runs) {
    if (!run.empty()) heap.push_back({run.data(), run.data() + run.size()});
    total += run.size();
  }
  std::make_heap(heap.begin(), heap.end(), later);
  std::vector<Record> result;
  result.reserve(total);
  const HugePagesWhileFilling filling(result.data(), total * sizeof(Record));
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), later);
    Cursor& next = heap.back();
    if (!result.empty() && isSameFile(result.back(), *next.at)) {
      fold(result.back(), *next.at);
    } else {
      result.push_back(*next.at);
    }
    if (++next.at == next.end) {
      heap.pop_back();
    } else {
      std::push_heap(heap.begin(), heap.end(), later);
    }
  }
  return result;
}

void markUsed(std::vector<Record>& stored, const std::vector<Record>& used, std::uint32_t day) {
  for (const Record& record : used) {
    auto at = std::lower_bound(stored.begin(), stored.end(), record, isBefore);
    if (at != stored.end() && hasSameKey(*at, record))
      at->lastUsedDay = std::max(at->lastUsedDay, day);
  }
}

// The most recently used nine tenths of the maximum, when past it.
void prune(std::vector<Record>& records, std::int64_t maximumEntries) {
  if (static_cast<std::int64_t>(records.size()) <= maximumEntries) return;
  const auto kept = static_cast<size_t>(std::max<std::int64_t>(1, maximumEntries * 9 / 10));
  std::nth_element(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(kept),
                   records.end(),
                   [](const Record& a, const Record& b) { return a.lastUsedDay > b.lastUsedDay; });
  records.resize(kept);
  std::sort(records.begin(), records.end(), isBefore);
}

size_t slotOf(std::uint64_t device, std::uint64_t inode, size_t mask) {
  std::uint64_t mixed = (inode ^ (device * 0x9E3779B97F4A7C15ULL)) * 0xBF58476D1CE4E5B9ULL;
  return static_cast<size_t>(mixed ^ (mixed >> 31)) & mask;
}

Error untrusted(std::string reason) { return Error::generic(std::move(reason)); }

std::string_view bytesOf(const std::vector<Record>& records) {
  return {reinterpret_cast<const char*>(records.data()), records.size() * sizeof(Record)};
}

// A table file's header and the bytes after it, laid out as records.
struct TableFile {
  Header header;
  std::vector<Record> records;  // the last one in part when the bytes are not whole records
  size_t size = 0;
};

// The records of a table file, or why they are not trusted.
Result<std::vector<Record>> validated(TableFile file) {
  const Header& header = file.header;
  if (file.size < sizeof(header)) return untrusted("it is shorter than its header");
  if (header.magic != kMagic) return untrusted("it is not a table of small files' digests");
  if (header.format > kFormat) return untrusted("it was written by a newer version of Zarnik");
  if (header.format != kFormat || header.recordSize != sizeof(Record))
    return untrusted("its format is unknown");
  const size_t body = file.size - sizeof(header);
  if (header.count > body / sizeof(Record) || header.count * sizeof(Record) != body)
    return untrusted("its length does not match its number of records");
  std::vector<Record> records = std::move(file.records);
  records.resize(header.count);
  if (checksumOf(bytesOf(records)) != header.checksum)
    return untrusted("its checksum does not match");
  const bool sorted =
      std::adjacent_find(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return !isBefore(a, b);
      }) == records.end();
  if (!sorted) return untrusted("its records are out of order");
  return records;
}

// The file read straight into its records: at a million entries, a copy of the bytes first
// cost as much as the read.
Result<TableFile> readTableFile(const std::string& path) {
  TableFile file;
  auto read = readWholeFileInto(path, kMostBytes, [&file](size_t size) {
    const size_t body = size > sizeof(Header) ? size - sizeof(Header) : 0;
    const size_t count = (body + sizeof(Record) - 1) / sizeof(Record);
    file.records.reserve(count);
    const HugePagesWhileFilling filling(file.records.data(), count * sizeof(Record));
    file.records.resize(count);  // the pages are taken here, before the read fills them
    return std::vector<std::span<char>>{{reinterpret_cast<char*>(&file.header), sizeof(Header)},
                                        {reinterpret_cast<char*>(file.records.data()), body}};
  });
  if (read.hasError()) return read.error();
  file.size = read.value();
  return file;
}

bool isMissing(const Error& error) {
  return error.domain == kPosixErrorDomain && error.code == ENOENT;
}

// The records a save adds to: none for a missing or untrusted file (of a newer format too, as
// the rest of the cache does), which the save replaces. A file that cannot be read now is left
// alone and the save given up.
Result<std::vector<Record>> readForSaving(const std::string& path) {
  auto file = readTableFile(path);
  if (file.hasError()) {
    if (isMissing(file.error())) return std::vector<Record>();
    return file.error();
  }
  auto records = validated(std::move(file).value());
  return records.hasValue() ? std::move(records).value() : std::vector<Record>();
}

}  // namespace

Result<std::vector<Record>> SmallFileDigestTable::decode(std::string_view bytes) {
  TableFile file;
  file.size = bytes.size();
  if (!bytes.empty())
    std::memcpy(&file.header, bytes.data(), std::min(bytes.size(), sizeof(Header)));
  if (bytes.size() > sizeof(Header)) {
    const std::string_view body = bytes.substr(sizeof(Header));
    file.records.resize((body.size() + sizeof(Record) - 1) / sizeof(Record));
    std::memcpy(file.records.data(), body.data(), body.size());
  }
  return validated(std::move(file));
}

std::string SmallFileDigestTable::headerOf(const std::vector<Record>& records) {
  Header header;
  header.magic = kMagic;
  header.format = kFormat;
  header.recordSize = sizeof(Record);
  header.count = records.size();
  header.checksum = checksumOf(bytesOf(records));
  return {reinterpret_cast<const char*>(&header), sizeof(header)};
}

std::string SmallFileDigestTable::encode(const std::vector<Record>& records) {
  return headerOf(records) + std::string(bytesOf(records));
}

SmallFileDigestTable::Snapshot::Snapshot(std::vector<Record> sorted)
    : records(std::move(sorted)), used(std::make_unique<std::atomic<bool>[]>(records.size())) {
  const size_t placeCount = std::bit_ceil(std::max<size_t>(16, records.size() * 2));
  places.reserve(placeCount);
  {
    const HugePagesWhileFilling filling(places.data(), placeCount * sizeof(std::uint32_t));
    places.resize(placeCount, kNoRecord);
  }
  const size_t mask = places.size() - 1;
  for (size_t i = 0; i < records.size(); ++i) {
    size_t at = slotOf(records[i].device, records[i].inode, mask);
    while (places[at] != kNoRecord) at = (at + 1) & mask;
    places[at] = static_cast<std::uint32_t>(i);
  }
}

const Record* SmallFileDigestTable::Snapshot::find(std::uint64_t device,
                                                   std::uint64_t inode) const {
  const size_t mask = places.size() - 1;
  for (size_t at = slotOf(device, inode, mask); places[at] != kNoRecord; at = (at + 1) & mask) {
    const Record& record = records[places[at]];
    if (record.device == device && record.inode == inode) return &record;
  }
  return nullptr;
}

SmallFileDigestTable::SmallFileDigestTable(std::string path, Today today,
                                           std::vector<Record> records)
    : path_(std::move(path)),
      today_(std::move(today)),
      snapshot_(std::make_unique<Snapshot>(std::move(records))),
      size_(snapshot_->records.size()) {}

std::unique_ptr<SmallFileDigestTable> SmallFileDigestTable::load(std::string path, Today today,
                                                                 Logger& logger) {
  auto file = readTableFile(path);
  Result<std::vector<Record>> records = std::vector<Record>();
  if (file.hasValue()) {
    records = validated(std::move(file).value());
  } else if (!isMissing(file.error())) {
    records = file.error();
  }
  if (records.hasError()) {
    LogContext context = LogContext::at(path);
    context.underlyingError = records.error().description;
    logger.log(kAuthor, "load(path:)",
               "The digest cache's table of small files could not be used; it is started anew",
               context);
    records = std::vector<Record>();
  }
  return std::unique_ptr<SmallFileDigestTable>(
      new SmallFileDigestTable(std::move(path), std::move(today), std::move(records).value()));
}

std::optional<SmallFileDigestTable::Known> SmallFileDigestTable::find(const DigestCacheKey& key) {
  if (isEmpty()) return std::nullopt;
  const Record wanted = recordOf(key);
  std::shared_lock lock(snapshotMutex_);
  const Record* at = snapshot_->find(wanted.device, wanted.inode);
  if (at == nullptr || !hasSameKey(*at, wanted)) return std::nullopt;
  const auto index = static_cast<size_t>(at - snapshot_->records.data());
  if (!snapshot_->used[index].exchange(true, std::memory_order_relaxed) &&
      at->lastUsedDay < today_()) {
    refreshDue_.store(true, std::memory_order_relaxed);
  }
  Known known;
  if ((at->parts & kHasPrefix) != 0) known.prefixHash = at->prefixHash;
  if ((at->parts & kHasDigest) != 0) known.digest = ExactFileHash{at->digest, key.size};
  return known;
}

void SmallFileDigestTable::record(const DigestCacheKey& key, const Known& known) {
  if (!known.prefixHash && !known.digest) return;
  Record record = recordOf(key);
  record.lastUsedDay = static_cast<std::uint32_t>(today_());
  if (known.prefixHash) {
    record.prefixHash = *known.prefixHash;
    record.parts |= kHasPrefix;
  }
  if (known.digest) {
    record.digest = known.digest->data;
    record.parts |= kHasDigest;
  }
  Learnt& learnt =
      learnt_[std::hash<std::thread::id>()(std::this_thread::get_id()) % learnt_.size()];
  std::lock_guard lock(learnt.mutex);
  if (learnt.chunks.empty() || learnt.chunks.back().size() == kChunk) {
    learnt.chunks.emplace_back();
    learnt.chunks.back().reserve(kChunk);
  }
  learnt.chunks.back().push_back(record);
}

std::vector<std::vector<Record>> SmallFileDigestTable::takeLearnt() {
  std::vector<std::vector<Record>> chunks;
  for (Learnt& learnt : learnt_) {
    std::lock_guard lock(learnt.mutex);
    std::move(learnt.chunks.begin(), learnt.chunks.end(), std::back_inserter(chunks));
    learnt.chunks.clear();
  }
  // Sorted in place, a chunk at a time: merging them costs no copy of all the records first.
  for (auto& chunk : chunks) std::sort(chunk.begin(), chunk.end(), isBefore);
  return chunks;
}

Result<void> SmallFileDigestTable::save(std::int64_t maximumEntries,
                                        std::chrono::milliseconds lockTimeout) {
  std::vector<std::vector<Record>> runs = takeLearnt();
  const bool refreshDue = refreshDue_.exchange(false);
  if (runs.empty() && !refreshDue) return {};
  const std::int64_t today = today_();
  std::vector<Record> usedBefore;  // used in this run, and last before today
  {
    std::shared_lock lock(snapshotMutex_);
    for (size_t i = 0; i < snapshot_->records.size(); ++i) {
      const Record& record = snapshot_->records[i];
      if (snapshot_->used[i].load(std::memory_order_relaxed) && record.lastUsedDay < today)
        usedBefore.push_back(record);
    }
  }
  // Another scan may have saved since this one loaded: its entries are kept.
  ZK_ASSIGN_OR_RETURN(FileLock lock,
                      FileLock::lockWithin(path_ + ".lock", "zarnik: saving digests", lockTimeout));
  ZK_ASSIGN_OR_RETURN(std::vector<Record> records, readForSaving(path_));
  markUsed(records, usedBefore, static_cast<std::uint32_t>(today));
  runs.push_back(std::move(records));
  records = merged(runs);
  runs.clear();
  prune(records, maximumEntries);
  // Not forced to the disk: a file a crash leaves in part fails its checksum.
  const std::string header = headerOf(records);
  const std::string_view parts[] = {header, bytesOf(records)};
  ZK_TRY(writeFileAtomically(path_, parts, Syncing::unsynced));
  std::unique_lock snapshotLock(snapshotMutex_);
  snapshot_ = std::make_unique<Snapshot>(std::move(records));
  size_.store(snapshot_->records.size(), std::memory_order_release);
  return {};
}

}  // namespace zarnik
