// ResultsFingerprint: a digest of the rows a scan's groups are written as, to be compared with
// the same digest of the rows a store holds. A scan whose groups the store already holds row for
// row then writes nothing: a rescan of an unchanged tree costs no write, and no log to fold back
// into the store.
//
// Each value is taken as the program reads it back (an integer as its decimal text), after its
// length, so that different rows cannot run together; groups and members are digested apart,
// each in the order they are written (groups by identifier, a group's members as listed).
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

  // The store's scan locations as archived.
  void addScanLocations(std::string_view archived);
  void add(const ManagedObjectContext::EncodedEquivalence& group);
  // The digest of all that was added; adds nothing more afterwards.
  using Digest = std::array<std::uint8_t, 60>;
  [[nodiscard]] Digest finish();

  // False where the digest cannot be made (no SHA-1 in the crypto library): nothing is
  // known to be stored then.
  [[nodiscard]] bool isValid() const;

  // Of the store's groups, members and scan locations. Nothing when the store holds more than
  // its groups can tell (a selection history, which a new scan's results end), so that it is
  // written again.
  static Result<std::optional<Digest>> ofStoredResults(ManagedObjectContext& context);
  // The store's groups and copies, counted: rows that cannot be the same are not digested.
  struct Counts {
    std::int64_t groups = 0;
    std::int64_t copies = 0;
    bool operator==(const Counts&) const = default;
  };
  static Result<Counts> countsOfStoredResults(ManagedObjectContext& context);
  // Rows the context's connection has written since it opened: a digest of the store holds only
  // while this stays the same.
  static Result<std::int64_t> rowsWrittenSoFar(ManagedObjectContext& context);

  class Stream;

 private:
  std::unique_ptr<Stream> groups_;
  std::unique_ptr<Stream> members_;
  std::unique_ptr<Stream> scanLocations_;
};

// The archive the store keeps of `locations` (a location that is missing as null).
[[nodiscard]] std::string archivedScanLocations(const std::vector<ScanLocationPtr>& locations);

}  // namespace zarnik
