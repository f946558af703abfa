#include "foundation/fetchable_value.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace zarnik {
namespace {

using Fetchable = FetchableValue<int>;

TEST(FetchableValue, FailedFetchIsNotRetriedUntilReset) {
  Fetchable value;
  int calls = 0;
  auto failing = [&]() -> std::optional<int> { ++calls; return std::nullopt; };
  EXPECT_FALSE(value.fetchIfNeeded(failing).has_value());
  EXPECT_FALSE(value.fetchIfNeeded(failing).has_value());
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(value.state(), Fetchable::State::fetchFailed);
  value.reset();
  EXPECT_TRUE(value.shouldFetch());
  EXPECT_EQ(value.fetchIfNeeded([] { return std::optional<int>(7); }), 7);
  EXPECT_EQ(value.fetchIfNeeded(failing), 7);
  EXPECT_EQ(calls, 1);
}

TEST(FetchableValue, ThrowingFetchLeavesTheStateSoTheNextAccessTriesAgain) {
  Fetchable value;
  EXPECT_THROW(value.fetchIfNeeded([]() -> std::optional<int> { throw std::runtime_error("io"); }),
               std::runtime_error);
  EXPECT_EQ(value.state(), Fetchable::State::notFetched);
  EXPECT_EQ(value.fetchIfNeeded([] { return std::optional<int>(1); }), 1);
}

TEST(FetchableValue, SynchronousFetchDuringAsyncFetchWinsAndTheLateResultIsDropped) {
  Fetchable value;
  EXPECT_TRUE(value.beginAsyncFetch());
  EXPECT_FALSE(value.beginAsyncFetch());  // a second asynchronous start is refused
  EXPECT_EQ(value.state(), Fetchable::State::fetchInProgress);
  EXPECT_EQ(value.fetchIfNeeded([] { return std::optional<int>(5); }), 5);
  value.finishFetch(9);
  EXPECT_EQ(value.value(), 5);
}

TEST(FetchableValue, FinishedAsyncFetchStoresValueOrFailure) {
  Fetchable succeeded;
  succeeded.beginAsyncFetch();
  succeeded.finishFetch(3);
  EXPECT_EQ(succeeded.value(), 3);
  Fetchable failed;
  failed.beginAsyncFetch();
  failed.finishFetch(std::nullopt);
  EXPECT_EQ(failed.state(), Fetchable::State::fetchFailed);
}

TEST(FetchableValue, ObjectFormRoundTripsEveryStateButInProgress) {
  auto encode = [](int v) { return Json(v); };
  auto decode = [](const Json& j) -> std::optional<int> {
    if (!j.is_number_integer()) return std::nullopt;
    return j.get<int>();
  };
  const Fetchable states[] = {Fetchable::fetched(4), Fetchable::fetched(std::nullopt), Fetchable()};
  for (const Fetchable& original : states) {
    auto object = original.anyObject(encode);
    const Fetchable restored = Fetchable::fromObject(object ? &*object : nullptr, decode);
    EXPECT_EQ(restored.state(), original.state());
    EXPECT_EQ(restored.value(), original.value());
  }
  Fetchable inProgress;
  inProgress.beginAsyncFetch();
  auto object = inProgress.anyObject(encode);
  EXPECT_FALSE(object.has_value());
  EXPECT_EQ(Fetchable::fromObject(nullptr, decode).state(), Fetchable::State::notFetched);
  const Json wrongKind = "text";
  EXPECT_EQ(Fetchable::fromObject(&wrongKind, decode).state(), Fetchable::State::notFetched);
}

TEST(FetchableValue, FlatMapAppliesOnlyToAKnownValue) {
  auto half = [](int v) -> std::optional<int> { return v % 2 == 0 ? std::optional<int>(v / 2) : std::nullopt; };
  EXPECT_EQ(Fetchable::fetched(8).flatMap(half), 4);
  EXPECT_EQ(Fetchable::fetched(3).flatMap(half), std::nullopt);
  EXPECT_EQ(Fetchable().flatMap(half), std::nullopt);
}

}  // namespace
}  // namespace zarnik

namespace zarnik {
namespace {

TEST(FetchableValue, AsyncFetchStartsOnceAndFinishesOnTheOwnersContext) {
  struct Owner {
    FetchableValue<int> value;
  };
  auto owner = std::make_shared<Owner>();
  Promise<int> promise;
  int starts = 0;
  std::optional<int> delivered;
  auto start = [&] {
    ++starts;
    return promise.future();
  };
  owner->value.fetchAsyncIfNeeded(Executor::immediate(), owner, start, [&](std::optional<int> v) { delivered = v; });
  owner->value.fetchAsyncIfNeeded(Executor::immediate(), owner, start, [&](std::optional<int> v) { delivered = v; });
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(owner->value.state(), FetchableValue<int>::State::fetchInProgress);
  promise.succeed(12);
  EXPECT_EQ(delivered, 12);
  EXPECT_EQ(owner->value.value(), 12);

  auto failing = std::make_shared<Owner>();
  Promise<int> failure;
  failing->value.fetchAsyncIfNeeded(Executor::immediate(), failing, [&] { return failure.future(); }, [](std::optional<int>) {});
  failure.fail(Error::generic("unreadable"));
  EXPECT_EQ(failing->value.state(), FetchableValue<int>::State::fetchFailed);
}

}  // namespace
}  // namespace zarnik
