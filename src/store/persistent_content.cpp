#include "store/persistent_content.h"

#include "foundation/logger.h"
#include "platform/xdg_directories.h"

namespace zarnik {
namespace {

std::string madeDirectory(std::string path) {
  if (auto made = xdg::makeDirectories(path); made.hasError()) {
    Logger::shared().log("PersistentContent", "init()",
                         "Did fail to create directory for content at url " + path +
                             " with error " + made.error().oneLine());
  }
  return path;
}

}  // namespace

const std::string& persistentContentDirectory() {
  static const std::string directory = madeDirectory(xdg::zarnikDataDirectory());
  return directory;
}

}  // namespace zarnik
