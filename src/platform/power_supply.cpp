#include "platform/power_supply.h"

#include "platform/file_reading.h"

#include <dirent.h>
#include <memory>

namespace zarnik {
namespace {

std::string firstLine(const std::string& path) {
  auto text = readWholeFile(path, 4096);
  if (text.hasError()) return {};
  std::string line = text.value().substr(0, text.value().find('\n'));
  return line;
}

}  // namespace

bool isOnBatteryPower(const std::string& powerSupplyFolder) {
  std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(powerSupplyFolder.c_str()), ::closedir);
  if (!folder) return false;
  bool discharging = false;
  bool mainsOnline = false;
  while (const dirent* entry = ::readdir(folder.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string supply = powerSupplyFolder;
    supply.append("/").append(name);
    const std::string type = firstLine(supply + "/type");
    if (type == "Mains" || type == "USB") {
      mainsOnline = mainsOnline || firstLine(supply + "/online") == "1";
    } else if (type == "Battery") {
      discharging = discharging || firstLine(supply + "/status") == "Discharging";
    }
  }
  return discharging && !mainsOnline;
}

}  // namespace zarnik
