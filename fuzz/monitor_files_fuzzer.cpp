// The monitor's own files, which people may edit or damage: the requests (monitor.json), the
// status other commands read, and the watched folders kept in its store.
#include "monitor/monitor_requests.h"
#include "monitor/monitor_status.h"
#include "monitor/monitored_location.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto requests = zarnik::MonitorRequests::parse(text, "monitor.json"); requests.hasValue()) {
    (void)requests.value().add("/tmp/added");
  }
  auto json = zarnik::parseJson(text, "fuzz");
  if (json.hasError()) return 0;
  if (auto status = zarnik::MonitorStatus::decode(json.value()); status.hasValue()) {
    (void)zarnik::MonitorStatus::decode(status.value().encode());
  }
  for (const auto& location : zarnik::decodeMonitoredLocations(json.value()))
    (void)location.encode();
  return 0;
}
