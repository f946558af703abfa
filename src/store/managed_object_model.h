// The two store schemas ("FileModel": groups, members, the selection history, raw data and the
// monitor's state; "PreferencesModel": the ignore list and selection rules) with their version
// history. A store's version is SQLite's user_version; migration step i takes a store from
// version i to version i + 1, so a store written by any older version can be brought up to date.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

struct ManagedObjectModel {
  std::string name;
  std::vector<std::string_view> migrations;
  // Indexes made when a store is opened without them. They change nothing an older version of
  // the program reads or writes, so they take no version of their own: a store stays readable
  // by the versions that read it before.
  std::vector<std::string_view> indexes;

  [[nodiscard]] std::int64_t version() const {
    return static_cast<std::int64_t>(migrations.size());
  }

  static const ManagedObjectModel& fileModel();
  static const ManagedObjectModel& preferencesModel();
};

}  // namespace zarnik
