// Predicate: a condition over named counters, written as text in the achievements resources
// ("numberOfFinishedCleans >= 1 AND NOT lastCleanupCompleteSuccessfully"). The language has
// numbers, TRUE and FALSE, counter names, comparisons (== != < <= > >=), AND, OR, NOT (also
// written && || !) and parentheses; nothing else, so a resource can never run code. A predicate is
// checked when it is read: its syntax, that every name is a known counter, and that numbers are
// compared with numbers and only truth values are combined, so evaluating it cannot fail.
#pragma once

#include "base/result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zarnik {

// A counter's value: a whole number or a truth value.
using CounterValue = std::variant<std::int64_t, bool>;

enum class CounterKind { number, truthValue };

// The counters a predicate may name, with their kinds; nothing for an unknown name.
using CounterCatalog = std::function<std::optional<CounterKind>(std::string_view name)>;
// The value of a counter the catalog knows.
using CounterReader = std::function<CounterValue(std::string_view name)>;

inline constexpr size_t kMaximumPredicateLength = 4096;
inline constexpr int kMaximumPredicateDepth = 64;

class Predicate {
 public:
  // The predicate that never holds.
  Predicate();
  // Errors name the problem and where it lies ("unknown counter cleanedSizes at 1").
  static Result<Predicate> parse(std::string_view text, const CounterCatalog& catalog);

  [[nodiscard]] bool evaluate(const CounterReader& counters) const;
  // The predicate written back in the canonical form (every operator in words, fully bracketed);
  // parsing it gives the same predicate.
  [[nodiscard]] std::string canonicalText() const;

  struct Node;

 private:
  explicit Predicate(std::shared_ptr<const Node> root) : root_(std::move(root)) {}
  std::shared_ptr<const Node> root_;
};

}  // namespace zarnik
