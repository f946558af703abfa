// Readers of the databases photo libraries are kept in: a Photos library's "RKVersion" and
// "RKMaster" tables (libraries copied from another computer) and Shotwell's "photo.db"
// ("PhotoTable", "VideoTable"). Both take a database opened read-only by the caller; a database
// without the expected tables is an error naming the file.
#pragma once

#include "base/result.h"
#include "enumeration/media_library_records.h"
#include "platform/sqlite_database.h"

#include <string>

namespace zarnik {

// The versions not in the trash, each joined with its master; a master's image path lies below
// the library's "Masters" folder.
[[nodiscard]] Result<PhotoLibraryListing> readPhotosLibraryDatabase(
    const SqliteDatabase& database, const std::string& libraryFolder);
[[nodiscard]] Result<PhotoLibraryListing> readShotwellDatabase(const SqliteDatabase& database);

}  // namespace zarnik
