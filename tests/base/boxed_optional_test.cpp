#include "base/boxed_optional.h"

#include <string>

#include <gtest/gtest.h>

namespace zarnik {
namespace {

TEST(BoxedOptional, CopiesAreDeepAndCompareByValue) {
  BoxedOptional<std::string> empty;
  EXPECT_FALSE(empty);
  BoxedOptional<std::string> one = std::string("abc");
  BoxedOptional<std::string> copy = one;
  ASSERT_TRUE(copy.has_value());
  *copy += "d";
  EXPECT_EQ(*one, "abc");  // the copy has its own value
  EXPECT_FALSE(one == copy);
  copy = one;
  EXPECT_TRUE(one == copy);
  EXPECT_FALSE(one == empty);
  EXPECT_TRUE(empty == BoxedOptional<std::string>(std::optional<std::string>()));
  copy.reset();
  EXPECT_TRUE(copy == empty);
}

}  // namespace
}  // namespace zarnik
