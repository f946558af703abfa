// FlatMap: a map kept as one vector of pairs sorted by key. For the many small maps a scan
// makes per group (a value per member), where a tree node per entry doubled their size.
// Insertion is linear: meant for maps of tens of entries, not thousands.
#pragma once

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

namespace zarnik {

template <typename Key, typename Value>
class FlatMap {
 public:
  using value_type = std::pair<Key, Value>;
  using iterator = typename std::vector<value_type>::iterator;
  using const_iterator = typename std::vector<value_type>::const_iterator;

  Value& operator[](const Key& key) {
    auto at = lowerBound(entries_, key);
    if (at == entries_.end() || at->first != key) at = entries_.emplace(at, key, Value{});
    return at->second;
  }
  [[nodiscard]] const_iterator find(const Key& key) const {
    auto at = lowerBound(entries_, key);
    return at != entries_.end() && at->first == key ? at : entries_.end();
  }
  [[nodiscard]] const Value& at(const Key& key) const {
    auto found = find(key);
    if (found == entries_.end()) throw std::out_of_range("FlatMap::at");
    return found->second;
  }
  [[nodiscard]] Value& at(const Key& key) { return const_cast<Value&>(std::as_const(*this).at(key)); }
  [[nodiscard]] size_t size() const { return entries_.size(); }
  [[nodiscard]] bool empty() const { return entries_.empty(); }
  void reserve(size_t count) { entries_.reserve(count); }
  [[nodiscard]] iterator begin() { return entries_.begin(); }
  [[nodiscard]] iterator end() { return entries_.end(); }
  [[nodiscard]] const_iterator begin() const { return entries_.begin(); }
  [[nodiscard]] const_iterator end() const { return entries_.end(); }
  friend bool operator==(const FlatMap&, const FlatMap&) = default;

 private:
  template <typename Entries>
  static auto lowerBound(Entries& entries, const Key& key) {
    return std::lower_bound(entries.begin(), entries.end(), key,
                            [](const value_type& entry, const Key& k) { return entry.first < k; });
  }
  std::vector<value_type> entries_;
};

}  // namespace zarnik
