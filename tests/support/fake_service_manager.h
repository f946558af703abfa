// FakeServiceManager: the user's systemd as far as `zarnik monitor enable|disable` speak to it.
// It owns org.freedesktop.systemd1 on the session bus (a PrivateSessionBus), offers the methods
// of org.freedesktop.systemd1.Manager that are used, with their real signatures, records each
// call with its unit name and whether that unit's file existed then, and can refuse to start.
// It serves the bus on a thread of its own.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct sd_bus;
struct sd_bus_slot;

namespace zarnik::testing {

struct ServiceManagerCall {
  std::string method;
  std::string unit;  // empty for Reload
  bool unitFileExisted = false;
};

class FakeServiceManager {
 public:
  // `unitFolder`: where the fake looks for the files of the units it is asked about.
  static std::unique_ptr<FakeServiceManager> start(std::string unitFolder);
  ~FakeServiceManager();
  FakeServiceManager(const FakeServiceManager&) = delete;
  FakeServiceManager& operator=(const FakeServiceManager&) = delete;

  [[nodiscard]] std::vector<ServiceManagerCall> calls() const;
  [[nodiscard]] std::vector<std::string> methods() const;
  void refuseToStart() { refuseToStart_ = true; }

 private:
  FakeServiceManager(sd_bus* bus, std::string unitFolder)
      : bus_(bus), unitFolder_(std::move(unitFolder)) {}
  void serve();
  void record(std::string method, std::string unit);

  sd_bus* bus_;
  std::string unitFolder_;
  sd_bus_slot* object_ = nullptr;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> refuseToStart_{false};
  std::atomic<bool> started_{false};
  mutable std::mutex mutex_;
  std::vector<ServiceManagerCall> calls_;
  std::thread server_;
};

}  // namespace zarnik::testing
