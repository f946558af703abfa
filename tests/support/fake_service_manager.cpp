#include "support/fake_service_manager.h"

#include <cstdlib>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace zarnik::testing {
namespace {

constexpr const char* kJobPath = "/org/freedesktop/systemd1/job/1";

// The first unit name of an "as" argument.
std::string firstUnit(sd_bus_message* message) {
  char** units = nullptr;
  if (sd_bus_message_read_strv(message, &units) < 0 || units == nullptr) return {};
  std::string first = units[0] != nullptr ? units[0] : "";
  for (char** u = units; *u != nullptr; ++u) free(*u);
  free(units);
  return first;
}

FakeServiceManager* managerOf(void* userdata) { return static_cast<FakeServiceManager*>(userdata); }

}  // namespace

std::unique_ptr<FakeServiceManager> FakeServiceManager::start(std::string unitFolder) {
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) return nullptr;
  std::unique_ptr<FakeServiceManager> manager(new FakeServiceManager(bus, std::move(unitFolder)));

  static const sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD(
          "Reload", "", "",
          [](sd_bus_message* m, void* self, sd_bus_error*) -> int {
            managerOf(self)->record("Reload", "");
            return sd_bus_reply_method_return(m, "");
          },
          SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_METHOD(
          "EnableUnitFiles", "asbb", "ba(sss)",
          [](sd_bus_message* m, void* self, sd_bus_error*) -> int {
            managerOf(self)->record("EnableUnitFiles", firstUnit(m));
            return sd_bus_reply_method_return(m, "ba(sss)", 1, 0);
          },
          SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_METHOD(
          "DisableUnitFiles", "asb", "a(sss)",
          [](sd_bus_message* m, void* self, sd_bus_error*) -> int {
            managerOf(self)->record("DisableUnitFiles", firstUnit(m));
            return sd_bus_reply_method_return(m, "a(sss)", 0);
          },
          SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_METHOD(
          "StartUnit", "ss", "o",
          [](sd_bus_message* m, void* self, sd_bus_error* error) -> int {
            const char* unit = nullptr;
            const char* mode = nullptr;
            if (int r = sd_bus_message_read(m, "ss", &unit, &mode); r < 0) return r;
            managerOf(self)->record("StartUnit", unit);
            if (managerOf(self)->refuseToStart_)
              return sd_bus_error_set(error, "org.freedesktop.systemd1.UnitMasked",
                                      "Unit zarnik-monitor.service is masked.");
            managerOf(self)->started_ = true;
            return sd_bus_reply_method_return(m, "o", kJobPath);
          },
          SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_METHOD(
          "StopUnit", "ss", "o",
          [](sd_bus_message* m, void* self, sd_bus_error* error) -> int {
            const char* unit = nullptr;
            const char* mode = nullptr;
            if (int r = sd_bus_message_read(m, "ss", &unit, &mode); r < 0) return r;
            managerOf(self)->record("StopUnit", unit);
            // As systemd answers for a unit it never loaded.
            if (!managerOf(self)->started_.exchange(false))
              return sd_bus_error_set(error, "org.freedesktop.systemd1.NoSuchUnit",
                                      "Unit zarnik-monitor.service not loaded.");
            return sd_bus_reply_method_return(m, "o", kJobPath);
          },
          SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END};
  if (sd_bus_add_object_vtable(bus, &manager->object_, "/org/freedesktop/systemd1",
                               "org.freedesktop.systemd1.Manager", kVtable, manager.get()) < 0)
    return nullptr;
  if (sd_bus_request_name(bus, "org.freedesktop.systemd1", 0) < 0) return nullptr;
  manager->server_ = std::thread([raw = manager.get()] { raw->serve(); });
  return manager;
}

FakeServiceManager::~FakeServiceManager() {
  stopping_ = true;
  if (server_.joinable()) server_.join();
  sd_bus_slot_unref(object_);
  sd_bus_flush_close_unref(bus_);
}

void FakeServiceManager::serve() {
  while (!stopping_) {
    if (sd_bus_process(bus_, nullptr) > 0) continue;
    sd_bus_wait(bus_, 20'000);  // short, so that stopping is seen soon
  }
}

void FakeServiceManager::record(std::string method, std::string unit) {
  const bool existed = !unit.empty() && ::access((unitFolder_ + "/" + unit).c_str(), F_OK) == 0;
  std::lock_guard lock(mutex_);
  calls_.push_back({std::move(method), std::move(unit), existed});
}

std::vector<ServiceManagerCall> FakeServiceManager::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> FakeServiceManager::methods() const {
  std::vector<std::string> names;
  for (const auto& call : calls()) names.push_back(call.method);
  return names;
}

}  // namespace zarnik::testing
