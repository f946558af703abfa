#include "matching/content_prefix_gate.h"

namespace zarnik {

namespace {

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
  return std::move(admitAll({{&file, size, prefixHash, parkWhileWaiting}}).front());
}

std::vector<ContentPrefixGate::Admission> ContentPrefixGate::admitAll(
    const std::vector<Arrival>& arrivals) {
  std::vector<Admission> admissions(arrivals.size());
  // Nodes are made again outside the lock: that asks the file system.
  std::vector<std::optional<ParkedFileNode>> waited(arrivals.size());
  std::vector<char> passes(arrivals.size(), 0);
  {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < arrivals.size(); ++i) {
      const Arrival& arrival = arrivals[i];
      TicketTable::Ticket& gate = gates_[keyOf(arrival.size, arrival.prefixHash)];
      if (gate.place != kOpen) {
        const ParkedFileNode waiting = waitingForm(*arrival.file, arrival.parkWhileWaiting);
        if (gate.place == TicketTable::kAbsent || waiting_.holds(gate, waiting)) {
          // A file listed again takes its own earlier place.
          gate = waiting_.add(waiting);
          continue;
        }
        waited[i] = waiting_.take(gate);
        gate = {kOpen, kNoReference};
      } else if (gate.item != kNoReference) {
        admissions[i].reference = references_[gate.item];
      }
      passes[i] = 1;
    }
  }
  for (size_t i = 0; i < arrivals.size(); ++i) {
    if (waited[i]) admissions[i].due.push_back(waited[i]->unpark(arrivals[i].size));
    if (passes[i] != 0) admissions[i].due.push_back(arrivals[i].file->unpark(arrivals[i].size));
  }
  return admissions;
}

std::optional<DigestReference> ContentPrefixGate::referenceOf(ByteCount size,
                                                              std::uint64_t prefixHash) {
  std::lock_guard lock(mutex_);
  const TicketTable::Ticket* gate = gates_.find(keyOf(size, prefixHash));
  if (gate == nullptr || gate->place != kOpen || gate->item == kNoReference) return std::nullopt;
  return references_[gate->item];
}

void ContentPrefixGate::offerReference(ByteCount size, std::uint64_t prefixHash,
                                       DigestReference reference) {
  std::lock_guard lock(mutex_);
  TicketTable::Ticket* gate = gates_.find(keyOf(size, prefixHash));
  if (gate == nullptr || gate->place != kOpen || gate->item != kNoReference) return;
  gate->item = static_cast<std::uint32_t>(references_.size());
  references_.push_back(std::move(reference));
}

void ContentPrefixGate::clear() {
  std::lock_guard lock(mutex_);
  gates_.clear();
  waiting_.clear();
  decltype(references_)().swap(references_);
}

std::uint64_t ContentPrefixGate::keyOf(ByteCount size, std::uint64_t prefixHash) {
  return prefixHash ^ TicketTable::spread(static_cast<std::uint64_t>(size));
}

}  // namespace zarnik
