// ResultsFingerprint: a digest of the rows a scan's groups are written as, to be compared with
// the same digest of the rows a store holds. A scan whose groups the store already holds row for
// row then writes nothing: a rescan of an unchanged tree costs no write, and no log to fold back
// into the store.
//
// Each value is taken as the program reads it back (an integer as its decimal text), after its
// length, so that different rows cannot run together; groups and members are digested apart,
// each in the order they are written (groups by identifier, a group's members as listed). The
// scan locations are compared as archived.
#pragma once

#include "base/result.h"
#include "store/managed_object_context.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

class ResultsFingerprint {
 public:
  ResultsFingerprint();
  ~ResultsFingerprint();
  ResultsFingerprint(ResultsFingerprint&&) noexcept;
  ResultsFingerprint& operator=(ResultsFingerprint&&) noexcept;

  // False where the digest cannot be made (no SHA-1 in the crypto library): nothing is
  // known to be stored then.
  [[nodiscard]] bool isValid() const;
  void add(const ManagedObjectContext::EncodedEquivalence& group);
  // The digest of all that was added; adds nothing more afterwards.
  using Digest = std::array<std::uint8_t, 40>;
  [[nodiscard]] Digest finish();

  // The same digest of the store's groups numbered `first` to `last` (to the end when none)
  // with their copies: groups are written numbered in order, so a run of them can be compared
  // with the store as soon as it is encoded.
  static Result<Digest> ofStoredGroups(ManagedObjectContext& context, std::int64_t first,
                                       std::optional<std::int64_t> last);

  // What tells, before any digest, that a store cannot hold given groups; and a count that
  // tells whether it still holds what it held.
  struct StoreState {
    std::int64_t groups = 0;
    std::int64_t copies = 0;
    // A selection history, which a new scan's results end: they are written whatever they are.
    bool hasHistory = false;
    std::optional<std::string> scanLocations;  // as archived
    std::int64_t rowsWritten = 0;              // by the context's connection since it opened
  };
  static Result<StoreState> stateOf(ManagedObjectContext& context);
  // Rows the context's connection has written since it opened.
  static Result<std::int64_t> rowsWrittenSoFar(ManagedObjectContext& context);

  class Stream;

 private:
  std::unique_ptr<Stream> groups_;
  std::unique_ptr<Stream> members_;
};

// The archive the store keeps of `locations` (a location that is missing as null).
[[nodiscard]] std::string archivedScanLocations(const std::vector<ScanLocationPtr>& locations);

}  // namespace zarnik
