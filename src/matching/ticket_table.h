// TicketTable: the tickets of parked files by a 64-bit key, in one array of 16-byte slots with
// linear probing: about 25 bytes an entry with the room it keeps free, where a node-based map
// took 60 and an allocation each. The first-block gate holds one for nearly every file of a
// large scan whose size another file shares. A holder may keep states of its own in the
// reserved places above kAbsent.
#pragma once

#include "matching/parked_files.h"

#include <cstdint>
#include <vector>

namespace zarnik {

class TicketTable {
 public:
  using Ticket = ParkedFiles::Ticket;
  // The place of the ticket of a key the table does not hold.
  static constexpr std::uint32_t kAbsent = ParkedFiles::kFirstReservedPlace;
  // The first reserved place a holder may use for states of its own.
  static constexpr std::uint32_t kFirstHolderPlace = kAbsent + 1;

  // The ticket under `key`; a key not held yet is added with a ticket whose place is kAbsent,
  // which the caller fills before anything else uses the table (an entry left so would be
  // counted while looking empty). Valid until the next call that adds.
  Ticket& operator[](std::uint64_t key);
  // The ticket under `key`, or null.
  [[nodiscard]] Ticket* find(std::uint64_t key);
  [[nodiscard]] size_t size() const { return used_; }
  // Lets go of every entry and of the room.
  void clear();

  // Spreads the bits of a key over all 64 (sizes and other small numbers cluster otherwise).
  [[nodiscard]] static std::uint64_t spread(std::uint64_t value);

 private:
  struct Slot {
    std::uint64_t key;
    Ticket ticket;
  };
  // Where `key` is in `slots`, or the empty slot where it would go.
  [[nodiscard]] static size_t probe(const std::vector<Slot>& slots, std::uint64_t key);
  void growTo(size_t capacity);

  std::vector<Slot> slots_;
  size_t used_ = 0;
};

}  // namespace zarnik
