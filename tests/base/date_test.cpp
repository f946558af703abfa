#include "base/date.h"

#include <gtest/gtest.h>

#include <limits>

namespace zarnik {
namespace {

TEST(Date, SecondsBeyondTheReachOfNanosecondsGiveTheEarliestOrLatestDate) {
  EXPECT_EQ(dateFromSecondsSince1970(-62135596800.0),
            Date::min());  // the year 1, "the distant past"
  EXPECT_EQ(dateFromSecondsSince1970(1e12), Date::max());
  EXPECT_EQ(dateFromSecondsSince1970(std::numeric_limits<double>::quiet_NaN()), Date::min());
  EXPECT_DOUBLE_EQ(secondsSince1970(dateFromSecondsSince1970(1765000000.5)), 1765000000.5);
}

}  // namespace
}  // namespace zarnik
