#include "file_model/prefix_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zarnik {
namespace {

using Tree = PrefixTree<std::string, int>;
using Path = std::vector<std::string>;

TEST(PrefixTree, ValuesAreFoundAtTheirPathsOnly) {
  Tree tree;
  tree.setValue(Path{"/", "home", "ann"}, 1);
  EXPECT_EQ(tree.getValue(Path{"/", "home", "ann"}, false), 1);
  EXPECT_EQ(tree.getValue(Path{"/", "home"}, false), std::nullopt);  // created without a value
  EXPECT_EQ(tree.getValue(Path{"/", "srv"}, false), std::nullopt);
  const Path full{"/", "home", "ann"};
  EXPECT_EQ(tree[std::span<const std::string>(full)], 1);
}

TEST(PrefixTree, DeeperPathsAnswerTheDeepestExistingNodeOnlyWhenAsked) {
  Tree tree;
  tree.setValue(Path{"/", "a"}, 7);
  const Path below{"/", "a", "b", "c"};
  EXPECT_EQ(tree.getValue(below, false), std::nullopt);
  EXPECT_EQ(tree.getValue(below, true), 7);
  tree.setValue(Path{"/", "a", "b", "x"}, 9);
  // The deepest existing node on the way is "b", which holds no value itself.
  EXPECT_EQ(tree.getValue(below, true), std::nullopt);
  const auto* node = tree.getNode(below, true);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->key(), "b");
  ASSERT_NE(node->parentTree(), nullptr);
  EXPECT_EQ(static_cast<const Tree::Node*>(node->parentTree())->key(), "a");
}

TEST(PrefixTree, OverwritingKeepsOneNode) {
  Tree tree;
  tree.setValue(Path{"k"}, 1);
  tree.setValue(Path{"k"}, 2);
  EXPECT_EQ(tree.childNodesByKey().size(), 1u);
  EXPECT_EQ(tree.getValue(Path{"k"}, false), 2);
  ASSERT_NE(tree["k"], nullptr);
  EXPECT_EQ(tree["missing"], nullptr);
}

}  // namespace
}  // namespace zarnik
