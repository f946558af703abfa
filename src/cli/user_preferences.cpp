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

void printPreferencesNotices(const PreferencesController& preferences) {
  static size_t told = 0;
  const auto& notices = preferences.notices();
  for (; told < notices.size(); ++told) printError(notices[told]);
}

}  // namespace zarnik::cli
