#include "matching/content_prefix_gate.h"

namespace zarnik {

namespace {

constexpr size_t kFirstCapacity = 1024;  // a power of two, as every capacity

std::uint64_t mixed(std::uint64_t value) {
  value ^= value >> 33;
  value *= 0xFF51AFD7ED558CCDULL;
  value ^= value >> 33;
  value *= 0xC4CEB9FE1A85EC53ULL;
  return value ^ (value >> 33);
}

// How a file waits: parked when it may be, and without its first block's fingerprint, which
// the gate's key holds.
ParkedFileNode waitingForm(const ParkedFileNode& file, bool park) {
  if (const MatchingNodePtr* whole = file.wholeNode())
    return park ? ParkedFileNode(*whole, true) : file;
  if (!file.contentPrefixHash()) return file;
  return ParkedFileNode::inFolder(file.folder(), file.name());
}

}  // namespace

ContentPrefixGate::Admission ContentPrefixGate::admit(const ParkedFileNode& file, ByteCount size,
                                                      std::uint64_t prefixHash,
                                                      bool parkWhileWaiting) {
  Admission admission;
  std::optional<ParkedFileNode> waited;
  {
    std::lock_guard lock(mutex_);
    Slot& gate = slotOf(keyOf(size, prefixHash));
    if (gate.state.place != kOpen) {
      const ParkedFileNode waiting = waitingForm(file, parkWhileWaiting);
      if (gate.state.place == kEmpty || waiting_.holds(gate.state, waiting)) {
        // A file listed again takes its own earlier place.
        gate.state = waiting_.add(waiting);
        return admission;
      }
    }
    if (gate.state.place != kOpen) {
      waited = waiting_.take(gate.state);
      gate.state = {kOpen, kNoReference};
    } else if (gate.state.item != kNoReference) {
      admission.reference = references_[gate.state.item];
    }
  }
  // Nodes are made again outside the lock: that asks the file system.
  if (waited) admission.due.push_back(waited->unpark(size));
  admission.due.push_back(file.unpark(size));
  return admission;
}

void ContentPrefixGate::offerReference(ByteCount size, std::uint64_t prefixHash,
                                       DigestReference reference) {
  std::lock_guard lock(mutex_);
  Slot* gate = findSlot(keyOf(size, prefixHash));
  if (gate == nullptr || gate->state.place != kOpen || gate->state.item != kNoReference) return;
  gate->state.item = static_cast<std::uint32_t>(references_.size());
  references_.push_back(std::move(reference));
}

void ContentPrefixGate::clear() {
  std::lock_guard lock(mutex_);
  decltype(slots_)().swap(slots_);
  usedSlots_ = 0;
  waiting_.clear();
  decltype(references_)().swap(references_);
}

std::uint64_t ContentPrefixGate::keyOf(ByteCount size, std::uint64_t prefixHash) {
  return mixed(prefixHash ^ mixed(static_cast<std::uint64_t>(size)));
}

size_t ContentPrefixGate::probe(const std::vector<Slot>& slots, std::uint64_t key) {
  const size_t mask = slots.size() - 1;
  size_t at = key & mask;
  while (slots[at].state.place != kEmpty && slots[at].key != key) at = (at + 1) & mask;
  return at;
}

ContentPrefixGate::Slot* ContentPrefixGate::findSlot(std::uint64_t key) {
  if (slots_.empty()) return nullptr;
  Slot& slot = slots_[probe(slots_, key)];
  return slot.state.place == kEmpty ? nullptr : &slot;
}

ContentPrefixGate::Slot& ContentPrefixGate::slotOf(std::uint64_t key) {
  if ((usedSlots_ + 1) * 4 > slots_.size() * 3)
    grow();  // linear probing stays short below 3/4 full
  Slot& slot = slots_[probe(slots_, key)];
  if (slot.state.place == kEmpty) {
    slot.key = key;
    ++usedSlots_;
  }
  return slot;
}

void ContentPrefixGate::grow() {
  std::vector<Slot> old(std::max(kFirstCapacity, slots_.size() * 2), Slot{0, {kEmpty, 0}});
  old.swap(slots_);
  for (const Slot& slot : old) {
    if (slot.state.place != kEmpty) slots_[probe(slots_, slot.key)] = slot;
  }
}

}  // namespace zarnik
