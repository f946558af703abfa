// Whether the machine runs on its battery, from /sys/class/power_supply: on battery when a
// battery reports discharging and no mains supply is online. A machine without a battery never is.
#pragma once

#include <string>

namespace zarnik {

[[nodiscard]] bool isOnBatteryPower(
    const std::string& powerSupplyFolder = "/sys/class/power_supply");

}  // namespace zarnik
