// The user's stored preferences as the command line uses them: opened from the standard places,
// with anything the user must know (a settings file set aside) told on stderr, once.
#pragma once

#include "preferences/preferences_controller.h"

#include <memory>

namespace zarnik::cli {

// Nothing (after telling why) when the preferences cannot be opened at all.
std::unique_ptr<PreferencesController> openUserPreferences();
// Tells the notices the controller gathered since it was opened or last asked.
void printPreferencesNotices(PreferencesController& preferences);

}  // namespace zarnik::cli
