#include "enumeration/photo_library_databases.h"

#include "base/path_components.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <map>

namespace zarnik {
namespace {

Error wrongFormat(const SqliteDatabase& database, std::string_view what, const Error& cause) {
  return Error::generic(fmt::format("not a {} database", what), database.path())
      .withUnderlying(cause.description);
}

struct Master {
  std::string imagePath;
  bool isListed = false;
};

Result<std::map<std::string, Master>> readMasters(const SqliteDatabase& database) {
  auto prepared = database.prepare("SELECT uuid, imagePath FROM RKMaster WHERE isInTrash = 0");
  if (prepared.hasError()) return wrongFormat(database, "photo library", prepared.error());
  SqliteStatement* statement = &prepared.value();
  std::map<std::string, Master> masters;
  while (true) {
    ZK_ASSIGN_OR_RETURN(bool row, statement->step());
    if (!row) break;
    if (statement->isNull(0) || statement->isNull(1)) continue;
    masters[statement->text(0)] = Master{statement->text(1), false};
  }
  return masters;
}

// A stored path never leaves the folder it is relative to, and names one file: no NUL byte cuts
// it short.
bool staysBelow(std::string_view relativePath) {
  if (relativePath.empty() || relativePath.front() == '/') return false;
  if (relativePath.find('\0') != std::string_view::npos) return false;
  size_t start = 0;
  while (start <= relativePath.size()) {
    const size_t end = std::min(relativePath.find('/', start), relativePath.size());
    if (relativePath.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

// Shotwell's own trash: the bit of a row's flags that marks a picture or video thrown away
// there (its file stays on disk until the trash is emptied).
std::uint64_t shotwellTrashFlag(std::string_view table) { return table == "VideoTable" ? 1 : 4; }

// Videos came to Shotwell later than photos: a database without their table has none. A table
// without flags (the oldest databases) has no trash either.
Result<void> readShotwellTable(const SqliteDatabase& database, std::string_view table,
                               bool isRequired, PhotoLibraryListing& listing) {
  constexpr std::string_view kColumns =
      "id, filename, width, height, timestamp, exposure_time, rating, title";
  auto prepared = database.prepare(fmt::format("SELECT {}, flags FROM {}", kColumns, table));
  const bool hasFlags = prepared.hasValue();
  if (!hasFlags) prepared = database.prepare(fmt::format("SELECT {} FROM {}", kColumns, table));
  if (prepared.hasError() && !isRequired) return success();
  if (prepared.hasError()) return wrongFormat(database, "Shotwell", prepared.error());
  SqliteStatement* statement = &prepared.value();
  while (true) {
    ZK_ASSIGN_OR_RETURN(bool row, statement->step());
    if (!row) break;
    if (hasFlags &&
        (static_cast<std::uint64_t>(statement->integer(8)) & shotwellTrashFlag(table)) != 0)
      continue;
    // Shotwell keeps absolute paths: anything else (or a path a NUL byte cuts short) names no
    // file that can be found.
    if (statement->isNull(1)) continue;
    if (const std::string path = statement->text(1);
        !path.starts_with('/') || path.find('\0') != std::string::npos)
      continue;
    LibraryPicture picture;
    picture.identifier =
        fmt::format("{}-{}", table == "VideoTable" ? "video" : "photo", statement->integer(0));
    picture.masterPath = statement->text(1);
    PhotosItemInfo& info = picture.info;
    info.identifier = picture.identifier;
    info.filename = std::string(lastPathComponent(*picture.masterPath));
    info.name = statement->optionalText(7);
    if (info.name && info.name->empty()) info.name.reset();
    info.size = ImageSize{statement->integer(2), statement->integer(3)};
    // When the picture was taken, else when it was imported.
    const std::int64_t taken = statement->integer(5);
    info.date =
        dateFromSecondsSince1970(static_cast<double>(taken > 0 ? taken : statement->integer(4)));
    // Rejected pictures are rated -1: no stars.
    const std::int64_t rating = statement->integer(6);
    if (rating >= 0 && rating <= 5) info.rating = static_cast<int>(rating);
    listing.pictures.push_back(std::move(picture));
  }
  return success();
}

}  // namespace

Result<PhotoLibraryListing> readPhotosLibraryDatabase(const SqliteDatabase& database,
                                                      const std::string& libraryFolder) {
  ZK_ASSIGN_OR_RETURN(auto masters, readMasters(database));
  // The oldest version of a master first: the picture as taken, listed once for its file.
  auto prepared = database.prepare(
      "SELECT uuid, masterUuid, name FROM RKVersion WHERE isInTrash = 0 ORDER BY modelId");
  if (prepared.hasError()) return wrongFormat(database, "photo library", prepared.error());
  SqliteStatement* statement = &prepared.value();
  PhotoLibraryListing listing;
  while (true) {
    ZK_ASSIGN_OR_RETURN(bool row, statement->step());
    if (!row) break;
    if (statement->isNull(0) || statement->isNull(1)) continue;
    const auto master = masters.find(statement->text(1));
    if (master == masters.end() || !staysBelow(master->second.imagePath)) continue;
    // Edits are further versions of the same master: one item per file, never a file twice.
    if (master->second.isListed) continue;
    master->second.isListed = true;
    LibraryPicture picture;
    picture.identifier = statement->text(0);
    picture.masterPath = libraryFolder + "/Masters/" + master->second.imagePath;
    picture.info.identifier = picture.identifier;
    picture.info.filename = std::string(lastPathComponent(*picture.masterPath));
    picture.info.name = statement->optionalText(2);
    listing.pictures.push_back(std::move(picture));
  }
  return listing;
}

Result<PhotoLibraryListing> readShotwellDatabase(const SqliteDatabase& database) {
  PhotoLibraryListing listing;
  ZK_TRY(readShotwellTable(database, "PhotoTable", true, listing));
  ZK_TRY(readShotwellTable(database, "VideoTable", false, listing));
  return listing;
}

}  // namespace zarnik
