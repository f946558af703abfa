// Migration of settings files written by older versions. The version of the last migration is
// kept in mixedPreferences.lastPreferencesMigrationAtVersionString; each step takes a document
// from the versions before its own to its own, and the steps run in order.
#pragma once

#include "base/json.h"

#include <string_view>

namespace zarnik {

// The version of the settings layout this program writes.
inline constexpr std::string_view kSettingsVersion = "2.3.0";

// Brings a document up to kSettingsVersion; true when it changed anything (the version included).
// A document without a version is taken as of the oldest layout. Never fails: values a step
// cannot convert are left for the reader, which finds them damaged.
bool migrateSettingsDocument(Json& document);

}  // namespace zarnik
