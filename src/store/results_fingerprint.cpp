#include "store/results_fingerprint.h"

#include "matching/exact_hashing.h"
#include "store/equivalence_rows.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <limits>

namespace zarnik {

// One digest of values: each as a mark (null or not), then its length and bytes.
class ResultsFingerprint::Stream {
 public:
  void integer(std::int64_t value) {
    std::array<char, 24> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    this->text(std::string_view(text.data(), static_cast<size_t>(end - text.data())));
  }
  void text(std::string_view value) {
    const std::uint64_t length = value.size();
    put('v');
    hash_.updateWithBuffer(&length, sizeof(length));
    hash_.updateWithBuffer(value.data(), value.size());
  }
  void blob(std::string_view value) { text(value); }
  void null() { put('n'); }
  // A column as read from the store.
  void column(const SqliteStatement& row, int column) {
    if (row.isNull(column)) {
      null();
    } else {
      text(row.text(column));
    }
  }
  std::array<std::uint8_t, 20> finish() { return hash_.buildDigest(); }
  [[nodiscard]] bool isValid() const { return hash_.isValid(); }

 private:
  void put(char mark) { hash_.updateWithBuffer(&mark, 1); }
  ZKExactHashingHelper hash_;
};

ResultsFingerprint::ResultsFingerprint()
    : groups_(std::make_unique<Stream>()), members_(std::make_unique<Stream>()) {}
ResultsFingerprint::~ResultsFingerprint() = default;
ResultsFingerprint::ResultsFingerprint(ResultsFingerprint&&) noexcept = default;
ResultsFingerprint& ResultsFingerprint::operator=(ResultsFingerprint&&) noexcept = default;

bool ResultsFingerprint::isValid() const { return groups_->isValid() && members_->isValid(); }

void ResultsFingerprint::add(const ManagedObjectContext::EncodedEquivalence& group) {
  equivalence_rows::putEquivalence(*groups_, group);
  for (const auto& duplicate : group.duplicates)
    equivalence_rows::putDuplicate(*members_, group, duplicate);
}

ResultsFingerprint::Digest ResultsFingerprint::finish() {
  Digest digest{};
  auto at = digest.begin();
  for (Stream* stream : {groups_.get(), members_.get()}) {
    const auto part = stream->finish();
    at = std::copy(part.begin(), part.end(), at);
  }
  return digest;
}

namespace {

size_t columnCount(std::string_view columns) {
  return static_cast<size_t>(std::count(columns.begin(), columns.end(), ',')) + 1;
}

// Every row of `columns` from `table` whose `key` is in the range, in `order`, each column into
// `stream`.
Result<void> digestRows(SqliteDatabase& database, std::string_view table, std::string_view columns,
                        std::string_view key, std::string_view order, std::int64_t first,
                        std::optional<std::int64_t> last, ResultsFingerprint::Stream& stream) {
  ZK_ASSIGN_OR_RETURN(auto query,
                      database.prepare(fmt::format("SELECT {} FROM {} WHERE {} BETWEEN ? AND ? "
                                                   "ORDER BY {}",
                                                   columns, table, key, order)));
  query.bind(1, first).bind(2, last.value_or(std::numeric_limits<std::int64_t>::max()));
  const int count = static_cast<int>(columnCount(columns));
  for (;;) {
    ZK_ASSIGN_OR_RETURN(const bool row, query.step());
    if (!row) return success();
    for (int column = 0; column < count; ++column) stream.column(query, column);
  }
}

Result<std::int64_t> countOf(SqliteDatabase& database, std::string_view sql) {
  ZK_ASSIGN_OR_RETURN(auto query, database.prepare(sql));
  ZK_ASSIGN_OR_RETURN(const bool row, query.step());
  return row ? query.integer(0) : 0;
}

}  // namespace

Result<ResultsFingerprint::Digest> ResultsFingerprint::ofStoredGroups(
    ManagedObjectContext& context, std::int64_t first, std::optional<std::int64_t> last) {
  SqliteDatabase& database = context.store().database();
  ResultsFingerprint fingerprint;
  ZK_TRY(digestRows(database, "ZKEquivalence", equivalence_rows::kEquivalenceColumns,
                    "uniqueIdentifier", "uniqueIdentifier", first, last, *fingerprint.groups_));
  ZK_TRY(digestRows(database, "ZKDuplicate", equivalence_rows::kDuplicateColumns, "equivalence",
                    "equivalence, Z_PK", first, last, *fingerprint.members_));
  return fingerprint.finish();
}

Result<ResultsFingerprint::StoreState> ResultsFingerprint::stateOf(ManagedObjectContext& context) {
  SqliteDatabase& database = context.store().database();
  StoreState state;
  ZK_ASSIGN_OR_RETURN(state.groups, countOf(database, "SELECT count(*) FROM ZKEquivalence"));
  ZK_ASSIGN_OR_RETURN(state.copies, countOf(database, "SELECT count(*) FROM ZKDuplicate"));
  ZK_ASSIGN_OR_RETURN(const std::int64_t history,
                      countOf(database, "SELECT count(*) FROM ZKActivityLogItem"));
  state.hasHistory = history > 0;
  ZK_ASSIGN_OR_RETURN(state.rowsWritten, rowsWrittenSoFar(context));
  ZK_ASSIGN_OR_RETURN(auto locations,
                      database.prepare("SELECT value FROM ZMETADATA WHERE key = 'scanLocations'"));
  ZK_ASSIGN_OR_RETURN(const bool row, locations.step());
  if (row && !locations.isNull(0)) state.scanLocations = locations.text(0);
  return state;
}

Result<std::int64_t> ResultsFingerprint::rowsWrittenSoFar(ManagedObjectContext& context) {
  return countOf(context.store().database(), "SELECT total_changes()");
}

std::string archivedScanLocations(const std::vector<ScanLocationPtr>& locations) {
  Json list = Json::array();
  for (const auto& location : locations) list.push_back(location ? location->encode() : Json());
  return archivedText("ScanLocations", list);
}

}  // namespace zarnik
