#include "monitor/monitor_status.h"

#include "platform/file_lock.h"
#include "platform/file_reading.h"
#include "platform/processes.h"
#include "store/persistent_content.h"

#include <cstdio>

namespace zarnik {
namespace {
constexpr size_t kMaximumSize = 4 << 20;

// Reads back what iso8601() writes ("2026-12-05T15:27:23Z"); nothing from anything else.
std::optional<Date> dateFromIso8601(const std::string& text) {
  int year = 0;
  unsigned month = 0, day = 0, hours = 0, minutes = 0, seconds = 0;
  char zone = 0;
  if (std::sscanf(text.c_str(), "%d-%u-%uT%u:%u:%u%c", &year, &month, &day, &hours, &minutes,
                  &seconds, &zone) != 7 ||
      zone != 'Z')
    return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                         std::chrono::day(day)};
  if (!date.ok() || hours > 23 || minutes > 59 || seconds > 60) return std::nullopt;
  return Date(std::chrono::sys_days(date) + std::chrono::hours(hours) +
              std::chrono::minutes(minutes) + std::chrono::seconds(seconds));
}

RecentDuplicate decodeRecentDuplicate(const Json& json) {
  RecentDuplicate duplicate;
  duplicate.id = json.value("id", std::int64_t{0});
  duplicate.name = json.value("name", std::string());
  duplicate.path = json.value("path", std::string());
  duplicate.abbreviatedPath = json.value("abbreviatedPath", std::string());
  duplicate.foundDate = dateFromSecondsSince1970(json.value("foundDate", 0.0));
  duplicate.size = json.value("size", std::int64_t{0});
  duplicate.isIgnored = json.value("ignored", false);
  return duplicate;
}
}  // namespace

Json encodeRecentDuplicate(const RecentDuplicate& duplicate) {
  return Json{{"id", duplicate.id},
              {"name", duplicate.name},
              {"path", duplicate.path},
              {"abbreviatedPath", duplicate.abbreviatedPath},
              {"foundDate", secondsSince1970(duplicate.foundDate)},
              {"size", duplicate.size},
              {"ignored", duplicate.isIgnored}};
}

Json MonitorStatus::encode() const {
  Json latest = Json::array();
  for (const auto& duplicate : recent.latest) latest.push_back(encodeRecentDuplicate(duplicate));
  Json json{{"processId", processId},
            {"state", state},
            {"locations", locations},
            {"watchedFolders", watchedFolders},
            {"watchBudget", watchBudget},
            {"watchBudgetReached", watchBudgetReached},
            {"itemsKnown", itemsKnown},
            {"itemLimit", itemLimit},
            {"itemLimitReached", itemLimitReached},
            {"groups", groups},
            {"duplicates", duplicates},
            {"recentDuplicates",
             {{"new", recent.newCount},
              {"newSize", recent.newSize},
              {"notViewed", recent.notViewedCount},
              {"total", recent.totalCount},
              {"totalSize", recent.totalSize},
              {"latest", latest}}},
            {"updated", iso8601(updated)}};
  if (notice) json["notice"] = *notice;
  return json;
}

Result<MonitorStatus> MonitorStatus::decode(const Json& json) {
  if (!json.is_object()) return Error::generic("Not a monitor status: expected a JSON object.");
  MonitorStatus status;
  try {
    status.processId = json.value("processId", std::int64_t{0});
    status.state = json.value("state", std::string("off"));
    status.locations = json.value("locations", std::vector<std::string>{});
    status.watchedFolders = json.value("watchedFolders", std::int64_t{0});
    status.watchBudget = json.value("watchBudget", std::int64_t{0});
    status.watchBudgetReached = json.value("watchBudgetReached", false);
    status.itemsKnown = json.value("itemsKnown", std::int64_t{0});
    status.itemLimit = json.value("itemLimit", std::int64_t{0});
    status.itemLimitReached = json.value("itemLimitReached", false);
    status.groups = json.value("groups", std::int64_t{0});
    status.duplicates = json.value("duplicates", std::int64_t{0});
    if (const auto recent = json.find("recentDuplicates");
        recent != json.end() && recent->is_object()) {
      status.recent.newCount = recent->value("new", std::int64_t{0});
      status.recent.newSize = recent->value("newSize", std::int64_t{0});
      status.recent.notViewedCount = recent->value("notViewed", std::int64_t{0});
      status.recent.totalCount = recent->value("total", std::int64_t{0});
      status.recent.totalSize = recent->value("totalSize", std::int64_t{0});
      if (const auto latest = recent->find("latest");
          latest != recent->end() && latest->is_array()) {
        for (const auto& entry : *latest) {
          if (entry.is_object()) status.recent.latest.push_back(decodeRecentDuplicate(entry));
        }
      }
    }
    if (const auto updated = json.find("updated"); updated != json.end() && updated->is_string()) {
      if (const auto date = dateFromIso8601(updated->get<std::string>())) status.updated = *date;
    }
    if (const auto notice = json.find("notice"); notice != json.end() && notice->is_string())
      status.notice = notice->get<std::string>();
  } catch (const Json::exception& error) {
    return Error::generic(std::string("Not a monitor status: ") + error.what());
  }
  return status;
}

std::string MonitorStatus::defaultPath() {
  return persistentContentDirectory() + "/monitor-status.json";
}
std::string MonitorStatus::lockPath() { return persistentContentDirectory() + "/monitor.lock"; }

Result<void> MonitorStatus::write(const std::string& path) const {
  return writeFileAtomically(path, dumpJson(encode(), 2) + "\n");
}

Result<MonitorStatus> MonitorStatus::read(const std::string& path) {
  ZK_ASSIGN_OR_RETURN(const std::string text, readWholeFile(path, kMaximumSize));
  ZK_ASSIGN_OR_RETURN(const Json json, parseJson(text, path));
  auto status = decode(json);
  if (status.hasError()) return status.error().withPath(path);
  return status;
}

std::optional<MonitorStatus> MonitorStatus::readRunning(const std::string& path,
                                                        const std::string& lock) {
  auto status = read(path);
  if (status.hasError()) return std::nullopt;
  const auto processId = static_cast<pid_t>(status.value().processId);
  if (!isProcessAlive(processId)) return std::nullopt;
  const auto holder = FileLock::holderOf(lock);
  if (!holder || holder->pid != processId) return std::nullopt;
  return std::move(status).value();
}

}  // namespace zarnik
