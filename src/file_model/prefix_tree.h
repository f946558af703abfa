// PrefixTree: a trie over path components (or any key sequence), used to find the exclusion
// rule that applies to a path.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <span>

namespace zarnik {

template <typename Key, typename Value>
class PrefixTreeNode;

template <typename Key, typename Value>
class PrefixTree {
 public:
  using Node = PrefixTreeNode<Key, Value>;

  virtual ~PrefixTree() = default;

  // The node at the end of `path`. When a key has no child: the last node reached if
  // `shouldReturnLastExistingNode`, else nothing. An empty path answers nothing.
  [[nodiscard]] const Node* getNode(std::span<const Key> path, bool shouldReturnLastExistingNode) const {
    const PrefixTree* tree = this;
    const Node* last = nullptr;
    for (const Key& key : path) {
      auto it = tree->childNodesByKey_.find(key);
      if (it == tree->childNodesByKey_.end()) return shouldReturnLastExistingNode ? last : nullptr;
      last = it->second.get();
      tree = last;
    }
    return last;
  }
  [[nodiscard]] std::optional<Value> getValue(std::span<const Key> path, bool shouldReturnLastExistingNode) const {
    const Node* node = getNode(path, shouldReturnLastExistingNode);
    return node == nullptr ? std::nullopt : node->value();
  }
  // Creates the missing nodes along `path` (with no value) and stores `value` at its end.
  void setValue(std::span<const Key> path, std::optional<Value> value) {
    PrefixTree* tree = this;
    Node* node = nullptr;
    for (const Key& key : path) {
      auto& child = tree->childNodesByKey_[key];
      if (!child) child.reset(new Node(tree, key));
      node = child.get();
      tree = node;
    }
    if (node != nullptr) node->value_ = std::move(value);
  }

  [[nodiscard]] const Node* operator[](const Key& key) const {
    auto it = childNodesByKey_.find(key);
    return it == childNodesByKey_.end() ? nullptr : it->second.get();
  }
  [[nodiscard]] std::optional<Value> operator[](std::span<const Key> path) const { return getValue(path, false); }
  [[nodiscard]] const std::map<Key, std::unique_ptr<Node>>& childNodesByKey() const { return childNodesByKey_; }

 private:
  std::map<Key, std::unique_ptr<Node>> childNodesByKey_;
};

template <typename Key, typename Value>
class PrefixTreeNode : public PrefixTree<Key, Value> {
 public:
  [[nodiscard]] const PrefixTree<Key, Value>* parentTree() const { return parentTree_; }
  [[nodiscard]] const Key& key() const { return key_; }
  [[nodiscard]] const std::optional<Value>& value() const { return value_; }

 private:
  friend class PrefixTree<Key, Value>;
  PrefixTreeNode(const PrefixTree<Key, Value>* parent, Key key) : parentTree_(parent), key_(std::move(key)) {}

  const PrefixTree<Key, Value>* parentTree_;  // the parent owns this node, so it outlives it
  Key key_;
  std::optional<Value> value_;
};

}  // namespace zarnik
