#include "scanning/content_prefix_gate.h"

namespace zarnik {

ContentPrefixGate::Admission ContentPrefixGate::admit(const ParkedFileNode& file, ByteCount size,
                                                      std::uint64_t prefixHash) {
  Admission admission;
  std::optional<ParkedFileNode> waited;
  {
    std::lock_guard lock(mutex_);
    auto [gate, isFirst] = gates_.try_emplace(Key{size, prefixHash});
    auto* parked = std::get_if<ParkedFileNode>(&gate->second);
    if (isFirst || (parked != nullptr && parked->path() == file.path())) {
      gate->second = file;
      return admission;
    }
    if (parked != nullptr) {
      waited = std::move(*parked);
      gate->second = OpenGate{};
    } else if (const auto& reference = std::get<OpenGate>(gate->second).reference) {
      admission.reference = *reference;
    }
  }
  // Nodes are made again outside the lock: that asks the file system.
  if (waited) admission.due.push_back(waited->unpark(size));
  admission.due.push_back(file.unpark(size));
  return admission;
}

void ContentPrefixGate::offerReference(ByteCount size, std::uint64_t prefixHash, DigestReference reference) {
  std::lock_guard lock(mutex_);
  auto gate = gates_.find(Key{size, prefixHash});
  if (gate == gates_.end()) return;
  auto* open = std::get_if<OpenGate>(&gate->second);
  if (open != nullptr && !open->reference) open->reference = std::make_unique<DigestReference>(std::move(reference));
}

void ContentPrefixGate::clear() {
  std::lock_guard lock(mutex_);
  Gates(&entries_).swap(gates_);  // the old entries are destroyed here, before their blocks go
  entries_.release();
}

}  // namespace zarnik
