#include "matching/ticket_table.h"

#include <algorithm>

namespace zarnik {
namespace {

constexpr size_t kFirstCapacity = 1024;  // a power of two, as every capacity

// Linear probing stays short below three quarters full.
bool fitsIn(size_t count, size_t capacity) { return count * 4 <= capacity * 3; }

}  // namespace

std::uint64_t TicketTable::spread(std::uint64_t value) {
  value ^= value >> 33;
  value *= 0xFF51AFD7ED558CCDULL;
  value ^= value >> 33;
  value *= 0xC4CEB9FE1A85EC53ULL;
  return value ^ (value >> 33);
}

TicketTable::Ticket& TicketTable::operator[](std::uint64_t key) {
  if (!fitsIn(used_ + 1, slots_.size())) growTo(std::max(kFirstCapacity, slots_.size() * 2));
  Slot& slot = slots_[probe(slots_, key)];
  if (slot.ticket.place == kAbsent) {
    slot.key = key;
    ++used_;
  }
  return slot.ticket;
}

TicketTable::Ticket* TicketTable::find(std::uint64_t key) {
  if (slots_.empty()) return nullptr;
  Slot& slot = slots_[probe(slots_, key)];
  return slot.ticket.place == kAbsent ? nullptr : &slot.ticket;
}

void TicketTable::clear() {
  decltype(slots_)().swap(slots_);
  used_ = 0;
}

size_t TicketTable::probe(const std::vector<Slot>& slots, std::uint64_t key) {
  const size_t mask = slots.size() - 1;
  size_t at = spread(key) & mask;
  while (slots[at].ticket.place != kAbsent && slots[at].key != key) at = (at + 1) & mask;
  return at;
}

void TicketTable::growTo(size_t capacity) {
  std::vector<Slot> old(capacity, Slot{0, {kAbsent, 0}});
  old.swap(slots_);
  for (const Slot& slot : old) {
    if (slot.ticket.place != kAbsent) slots_[probe(slots_, slot.key)] = slot;
  }
}

}  // namespace zarnik
