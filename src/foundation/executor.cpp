#include "foundation/executor.h"

#include <thread>

namespace zarnik {
namespace {

class ImmediateExecutor final : public Executor {
 public:
  void execute(Task task) override { task(); }
  [[nodiscard]] bool isCurrent() const override { return true; }
};

class PoolExecutor final : public Executor {
 public:
  void execute(Task task) override {
    ThreadPool::shared().submit(QualityOfService::utility, std::move(task));
  }
};

}  // namespace

Executor& Executor::immediate() {
  static ImmediateExecutor executor;
  return executor;
}

Executor& Executor::primary() {
  static PoolExecutor executor;
  return executor;
}

}  // namespace zarnik
