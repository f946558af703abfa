#include "base/flat_map.h"

#include <gtest/gtest.h>

#include <string>

namespace zarnik {
namespace {

TEST(FlatMap, KeepsEntriesSortedAndFindsThem) {
  FlatMap<int, std::string> map;
  map[5] = "five";
  map[1] = "one";
  map[3] = "three";
  map[5] += "!";  // an existing key is not added again
  ASSERT_EQ(map.size(), 3u);
  std::vector<int> keys;
  for (const auto& [key, value] : map) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<int>{1, 3, 5}));
  EXPECT_EQ(map.at(5), "five!");
  EXPECT_EQ(map.find(2), map.end());
  EXPECT_EQ(map.find(3)->second, "three");
  EXPECT_THROW((void)map.at(4), std::out_of_range);
}

}  // namespace
}  // namespace zarnik
