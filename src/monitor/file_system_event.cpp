#include "monitor/file_system_event.h"

#include <atomic>

namespace zarnik {

std::uint64_t FileSystemEvent::nextIdentifier() {
  static std::atomic<std::uint64_t> counter{0};
  return ++counter;
}

std::string FileSystemEvent::description() const {
  return path + " (" + std::to_string(identifier) + ") changed: " + change.description();
}

}  // namespace zarnik
