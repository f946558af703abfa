#include "monitor/monitor_requests.h"

#include "base/json.h"
#include "platform/file_reading.h"
#include "platform/xdg_directories.h"

#include <algorithm>
#include <cerrno>

namespace zarnik {
namespace {
constexpr size_t kMaximumSize = 1 << 20;
}

std::string MonitorRequests::defaultPath() {
  return xdg::zarnikConfigDirectory() + "/monitor.json";
}

Result<MonitorRequests> MonitorRequests::load(const std::string& path) {
  auto text = readWholeFile(path, kMaximumSize);
  if (text.hasError()) {
    if (text.error() == Error::posix(ENOENT)) return MonitorRequests{};
    return text.error();
  }
  return parse(text.value(), path);
}

Result<MonitorRequests> MonitorRequests::loadDefault() {
  auto requests = load(defaultPath());
  if (requests.hasError()) {
    return Error::generic("The monitor's settings cannot be read; fix or remove the file.",
                          defaultPath())
        .withUnderlying(requests.error().oneLine());
  }
  return requests;
}

Result<MonitorRequests> MonitorRequests::parse(std::string_view text, const std::string& origin) {
  ZK_ASSIGN_OR_RETURN(const Json json, parseJson(text, origin));
  if (!json.is_object())
    return Error::generic("Not a monitor settings file: expected a JSON object.", origin);
  MonitorRequests requests;
  if (const auto locations = json.find("locations");
      locations != json.end() && locations->is_array()) {
    for (const auto& location : *locations) {
      if (location.is_string()) requests.add(location.get<std::string>());
    }
  }
  if (const auto paused = json.find("paused"); paused != json.end() && paused->is_boolean())
    requests.paused = paused->get<bool>();
  if (const auto reviewed = json.find("reviewedUntil");
      reviewed != json.end() && reviewed->is_number())
    requests.reviewedUntil = dateFromSecondsSince1970(reviewed->get<double>());
  if (const auto ignored = json.find("ignoredCopies");
      ignored != json.end() && ignored->is_array()) {
    for (const auto& path : *ignored) {
      if (path.is_string()) requests.ignoredCopies.insert(path.get<std::string>());
    }
  }
  return requests;
}

Result<void> MonitorRequests::save(const std::string& path) const {
  ZK_TRY(xdg::makeDirectories(path.substr(0, path.rfind('/'))));
  Json json{{"locations", locations}, {"paused", paused}};
  if (reviewedUntil) json["reviewedUntil"] = secondsSince1970(*reviewedUntil);
  if (!ignoredCopies.empty()) json["ignoredCopies"] = ignoredCopies;
  return writeFileAtomically(path, dumpJson(json, 2) + "\n");
}

bool MonitorRequests::add(const std::string& location) {
  if (std::find(locations.begin(), locations.end(), location) != locations.end()) return false;
  locations.push_back(location);
  return true;
}

bool MonitorRequests::remove(const std::string& location) {
  return std::erase(locations, location) > 0;
}

}  // namespace zarnik
