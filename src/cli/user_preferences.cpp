#include "cli/user_preferences.h"

#include "cli/user_session.h"

namespace zarnik::cli {

std::unique_ptr<PreferencesController> openUserPreferences() {
  auto opened = PreferencesController::open(PreferencesLocations::standard());
  if (opened.hasError()) {
    printError("the preferences cannot be read: " + opened.error().oneLine());
    return nullptr;
  }
  printPreferencesNotices(*opened.value());
  return std::move(opened).value();
}

void printPreferencesNotices(PreferencesController& preferences) {
  for (const auto& notice : preferences.takeNotices()) printError(notice);
}

}  // namespace zarnik::cli
