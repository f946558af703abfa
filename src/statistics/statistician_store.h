// StatisticianStore: the lifetime statistics of the program (how much was scanned, found and
// cleaned, how often, which features were used), as one value that is replaced whole on every
// change. Counters are named so that the achievements' predicates can read them.
//
// Its file, "statistics.plist", is an XML property list: a dictionary of the counters by name, with
// the store's class and the version of its format.
#pragma once

#include "base/json.h"
#include "base/result.h"
#include "statistics/predicate.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

inline constexpr std::int64_t kStatisticsFormatVersion = 1;
inline constexpr size_t kMaximumStatisticsFileSize = size_t{1} << 20;

class StatisticianStore {
 public:
  // Every counter's name with its kind, in the order they are written; "foundSize" is the derived
  // one (the stored found size is written as "_foundSize").
  static const std::vector<std::pair<std::string_view, CounterKind>>& counters();
  static std::optional<CounterKind> counterKind(std::string_view name);

  // Nothing set is 0 or false; a name that is not a counter reads 0.
  [[nodiscard]] CounterValue value(std::string_view name) const;
  [[nodiscard]] std::int64_t number(std::string_view name) const;
  [[nodiscard]] bool truth(std::string_view name) const;
  void setNumber(std::string_view name, std::int64_t value);
  void add(std::string_view name, std::int64_t delta);  // saturating
  void setTruth(std::string_view name, bool value);

  // The found size is never shown below a sixth of the scanned size.
  [[nodiscard]] std::int64_t foundSize() const;
  void setFoundSize(std::int64_t size) { setNumber("_foundSize", size); }

  [[nodiscard]] const std::set<std::string>& cheatingAchievementIdentifiers() const {
    return cheating_;
  }
  [[nodiscard]] bool isCheatingAchievement(const std::string& identifier) const {
    return cheating_.count(identifier) != 0;
  }
  // Grants (or takes back) an achievement whatever its predicate says; a text that cannot be an
  // achievement's identifier is ignored.
  void setCheatingAchievement(const std::string& identifier, bool cheating);

  // The property list text of the file.
  [[nodiscard]] std::string propertyListText() const;
  // From the file's contents, parsed: an error when it is not a statistics store, or one of a
  // newer format (`isNewerFormat`).
  static Result<StatisticianStore> fromPropertyList(const Json& document);
  // Reads and parses a file; an error too when it is missing.
  static Result<StatisticianStore> makeWithContentsOf(const std::string& path);
  Result<void> storeTo(const std::string& path) const;

  // Equal when every counter reads the same and the same achievements are granted by hand (a
  // counter never set reads as one set to 0 or false).
  friend bool operator==(const StatisticianStore& a, const StatisticianStore& b);

 private:
  std::map<std::string, std::int64_t, std::less<>> numbers_;
  std::map<std::string, bool, std::less<>> truths_;
  std::set<std::string> cheating_;
};

// The code of the error fromPropertyList gives for a file of a newer format.
inline constexpr int kNewerStatisticsFormatCode = 2;

}  // namespace zarnik
