#include "base/result.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace zarnik {
namespace {

Result<int> parsePositive(int value) {
  if (value <= 0) return Error::generic("not positive");
  return value;
}

Result<int> doubledPositive(int value) {
  ZK_ASSIGN_OR_RETURN(int parsed, parsePositive(value));
  return parsed * 2;
}

TEST(Result, PropagatesTheFirstErrorThroughMacrosAndCombinators) {
  EXPECT_EQ(doubledPositive(4).value(), 8);
  EXPECT_EQ(doubledPositive(-1).error().description, "not positive");
  auto chained = parsePositive(3).andThen([](int v) { return parsePositive(v - 5); });
  EXPECT_TRUE(chained.hasError());
  EXPECT_EQ(parsePositive(2).transform([](int v) { return v + 1; }).value(), 3);
}

TEST(Error, PosixErrorsCarryThePathAndTheSystemText) {
  const Error error = Error::posix(ENOENT, "/missing");
  EXPECT_EQ(error.domain, kPosixErrorDomain);
  EXPECT_EQ(error.code, ENOENT);
  EXPECT_EQ(error.oneLine(), "/missing: No such file or directory");
  EXPECT_TRUE(Error::cancelled().isCancellation());
}

}  // namespace
}  // namespace zarnik
