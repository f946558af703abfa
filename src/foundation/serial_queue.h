// SerialQueue: runs its tasks one at a time, in order, on the shared pool. A service keeps its
// mutable state on one such queue and touches it only there (assertOnQueue checks in debug
// builds). Labels are "com.orvane.<name>".
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "foundation/executor.h"

namespace zarnik {

class SerialQueue final : public Executor, public std::enable_shared_from_this<SerialQueue> {
 public:
  static std::shared_ptr<SerialQueue> make(const std::string& name,
                                           QualityOfService qos = QualityOfService::utility);

  [[nodiscard]] const std::string& label() const { return label_; }
  [[nodiscard]] QualityOfService qualityOfService() const { return qos_; }

  void async(Task task);
  void execute(Task task) override { async(std::move(task)); }
  // Runs `task` on the queue and waits for it; runs it at once when already on this queue.
  void sync(Task task);
  [[nodiscard]] bool isCurrent() const override;
  void assertOnQueue() const;

 private:
  SerialQueue(std::string label, QualityOfService qos) : label_(std::move(label)), qos_(qos) {}
  void drain();

  const std::string label_;
  const QualityOfService qos_;
  std::mutex mutex_;
  std::deque<Task> tasks_;
  bool draining_ = false;
};

}  // namespace zarnik
