#include "cleaning/cleaning_note.h"

#include <algorithm>

namespace zarnik {
namespace {

template <typename... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <typename... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

void putPath(Json& archive, const char* key, const std::optional<std::string>& path) {
  if (path) archive[key] = bytesJson(*path);
}

std::optional<std::string> pathIn(const Json& archive, const char* key) {
  const Json* value = jsonMember(archive, key);
  return value != nullptr ? bytesFromJson(*value) : std::nullopt;
}

void putError(Json& archive, const char* key, const std::optional<Error>& error) {
  if (!error) return;
  archive[key] = Json{{"domain", error->domain},
                      {"code", error->code},
                      {"description", error->description},
                      {"path", bytesJson(error->path)},
                      {"underlying", error->underlying}};
}

std::optional<Error> errorIn(const Json& archive, const char* key) {
  const Json* value = jsonMember(archive, key);
  if (value == nullptr || !value->is_object()) return std::nullopt;
  Error error;
  error.domain = jsonString(*value, "domain").value_or("");
  error.code = static_cast<int>(jsonInt(*value, "code").value_or(0));
  error.description = jsonString(*value, "description").value_or("");
  error.path = pathIn(*value, "path").value_or("");
  error.underlying = jsonString(*value, "underlying").value_or("");
  return error;
}

void putData(Json& archive, const char* key, const std::optional<std::string>& data) {
  if (data) archive[key] = hexJson(*data);
}

std::optional<std::string> dataIn(const Json& archive, const char* key) {
  const Json* value = jsonMember(archive, key);
  return value != nullptr ? dataFromHexJson(*value) : std::nullopt;
}

void putIdentity(Json& archive, const char* key, const std::optional<FileId>& identity) {
  if (identity) archive[key] = hexJson(identity->bytes());
}

std::optional<FileId> identityIn(const Json& archive, const char* key) {
  auto bytes = dataIn(archive, key);
  FileId identity;
  if (!bytes || !FileId::fromBytes(*bytes, &identity)) return std::nullopt;
  return identity;
}

void putDate(Json& archive, const char* key, const std::optional<Date>& date) {
  if (date) archive[key] = date->time_since_epoch().count();
}

std::optional<Date> dateIn(const Json& archive, const char* key) {
  auto value = jsonInt(archive, key);
  if (!value) return std::nullopt;
  return Date(std::chrono::nanoseconds(*value));
}

Json encodeMetadata(const EntryMetadata& metadata) {
  Json attributes = Json::array();
  for (const auto& [name, value] : metadata.extendedAttributes) {
    attributes.push_back(Json{{"name", bytesJson(name)}, {"value", hexJson(value)}});
  }
  Json archive{{"mode", metadata.mode}, {"owner", metadata.owner}, {"group", metadata.group},
               {"extendedAttributes", std::move(attributes)}};
  putDate(archive, "access", metadata.access);
  putDate(archive, "modification", metadata.modification);
  return archive;
}

std::optional<EntryMetadata> decodeMetadata(const Json& archive) {
  auto mode = jsonInt(archive, "mode");
  auto owner = jsonInt(archive, "owner");
  auto group = jsonInt(archive, "group");
  if (!mode || !owner || !group) return std::nullopt;
  EntryMetadata metadata{static_cast<std::uint32_t>(*mode), static_cast<std::uint32_t>(*owner),
                         static_cast<std::uint32_t>(*group), dateIn(archive, "access"),
                         dateIn(archive, "modification"), {}};
  if (const Json* list = jsonMember(archive, "extendedAttributes"); list != nullptr && list->is_array()) {
    for (const auto& item : *list) {
      auto name = pathIn(item, "name");
      auto value = dataIn(item, "value");
      if (name && value) metadata.extendedAttributes.emplace_back(std::move(*name), std::move(*value));
    }
  }
  return metadata;
}

void encodeJournal(const CleaningNote& note, Json& archive) {
  putPath(archive, "stagedPath", note.stagedPath);
  putPath(archive, "deletingPath", note.deletingPath);
  putPath(archive, "linkPath", note.linkPath);
  putPath(archive, "destinationPath", note.destinationPath);
  putPath(archive, "partialPath", note.partialPath);
  putPath(archive, "keptPath", note.keptPath);
  putIdentity(archive, "copyIdentity", note.copyIdentity);
  putIdentity(archive, "keptIdentity", note.keptIdentity);
  putData(archive, "digest", note.digest);
  if (note.isFolder) archive["isFolder"] = true;
  archive["size"] = note.size;
  if (note.metadata) archive["metadata"] = encodeMetadata(*note.metadata);
  Json folders = Json::array();
  for (const auto& [path, metadata] : note.folders) {
    folders.push_back(Json{{"path", bytesJson(path)}, {"metadata", encodeMetadata(metadata)}});
  }
  if (!folders.empty()) archive["folders"] = std::move(folders);
  if (note.revertPending) archive["revertPending"] = true;
}

void decodeJournal(const Json& archive, CleaningNote& note) {
  note.stagedPath = pathIn(archive, "stagedPath");
  note.deletingPath = pathIn(archive, "deletingPath");
  note.linkPath = pathIn(archive, "linkPath");
  note.destinationPath = pathIn(archive, "destinationPath");
  note.partialPath = pathIn(archive, "partialPath");
  note.keptPath = pathIn(archive, "keptPath");
  note.copyIdentity = identityIn(archive, "copyIdentity");
  note.keptIdentity = identityIn(archive, "keptIdentity");
  note.digest = dataIn(archive, "digest");
  note.isFolder = jsonBool(archive, "isFolder").value_or(false);
  note.size = jsonInt(archive, "size").value_or(0);
  if (const Json* metadata = jsonMember(archive, "metadata")) note.metadata = decodeMetadata(*metadata);
  if (const Json* folders = jsonMember(archive, "folders"); folders != nullptr && folders->is_array()) {
    for (const auto& item : *folders) {
      auto path = pathIn(item, "path");
      const Json* metadata = jsonMember(item, "metadata");
      auto decoded = metadata != nullptr ? decodeMetadata(*metadata) : std::nullopt;
      if (path && decoded) note.folders.emplace_back(std::move(*path), std::move(*decoded));
    }
  }
  note.revertPending = jsonBool(archive, "revertPending").value_or(false);
}

}  // namespace

Json encodeAction(const CleaningAction& action) {
  return std::visit(Overloaded{
                        [](const CleaningMovedAction& moved) {
                          Json archive{{"$class", "CleaningMovedAction"}};
                          putPath(archive, "destination", moved.destination);
                          return archive;
                        },
                        [](const CleaningMovedToTrashAction& trashed) {
                          Json archive{{"$class", "CleaningMovedToTrashAction"}};
                          putPath(archive, "destination", trashed.destination);
                          putPath(archive, "trashInfo", trashed.trashInfo);
                          return archive;
                        },
                        [](const CleaningRemovedAction&) { return Json{{"$class", "CleaningRemovedAction"}}; },
                        [](const CleaningReplacedWithHardlinkAction& link) {
                          Json archive{{"$class", "CleaningReplacedWithHardlinkAction"},
                                       {"identifierOfDuplicateReplacedWith", link.identifierOfDuplicateReplacedWith}};
                          putPath(archive, "destinationURL", link.destinationURL);
                          return archive;
                        },
                    },
                    action);
}

std::optional<CleaningAction> decodeAction(const Json& archive) {
  const auto name = jsonString(archive, "$class");
  if (name == "CleaningMovedAction") return CleaningMovedAction{pathIn(archive, "destination")};
  if (name == "CleaningMovedToTrashAction") {
    return CleaningMovedToTrashAction{pathIn(archive, "destination"), pathIn(archive, "trashInfo")};
  }
  if (name == "CleaningRemovedAction") return CleaningRemovedAction{};
  if (name == "CleaningReplacedWithHardlinkAction") {
    return CleaningReplacedWithHardlinkAction{jsonInt(archive, "identifierOfDuplicateReplacedWith").value_or(0),
                                              pathIn(archive, "destinationURL")};
  }
  return std::nullopt;
}

Json CleaningNote::encode() const {
  Json list = Json::array();
  for (const auto& action : actions) list.push_back(encodeAction(action));
  Json archive{{"$class", "ZKCleaningNote"},
               {"cleanID", cleanID},
               {"date", date.time_since_epoch().count()},
               {"originalPath", bytesJson(originalPath)},
               {"option", option.encode()},
               {"pending", pending},
               {"actions", std::move(list)},
               {"reverted", reverted}};
  if (note) archive["note"] = *note;
  if (isFakeRemove) archive["isFakeRemove"] = true;
  putError(archive, "error", error);
  putError(archive, "reversionError", reversionError);
  if (modificationDate) archive["modificationDate"] = modificationDate->time_since_epoch().count();
  encodeJournal(*this, archive);
  return archive;
}

std::optional<CleaningNote> CleaningNote::decode(const Json& archive) {
  if (jsonString(archive, "$class") != "ZKCleaningNote") return std::nullopt;
  CleaningNote note;
  auto id = jsonInt(archive, "cleanID");
  auto original = pathIn(archive, "originalPath");
  const Json* option = jsonMember(archive, "option");
  auto decodedOption = option != nullptr ? FileCleaningOption::decode(*option) : std::nullopt;
  if (!id || !original || !decodedOption) return std::nullopt;
  note.cleanID = *id;
  note.date = Date(std::chrono::nanoseconds(jsonInt(archive, "date").value_or(0)));
  note.originalPath = std::move(*original);
  note.option = std::move(*decodedOption);
  note.pending = jsonBool(archive, "pending").value_or(true);
  note.reverted = jsonBool(archive, "reverted").value_or(false);
  note.note = jsonString(archive, "note");
  note.isFakeRemove = jsonBool(archive, "isFakeRemove").value_or(false);
  note.error = errorIn(archive, "error");
  note.reversionError = errorIn(archive, "reversionError");
  if (auto date = jsonInt(archive, "modificationDate")) note.modificationDate = Date(std::chrono::nanoseconds(*date));
  decodeJournal(archive, note);
  if (const Json* list = jsonMember(archive, "actions"); list != nullptr && list->is_array()) {
    for (const auto& item : *list) {
      auto action = decodeAction(item);
      if (!action) return std::nullopt;
      note.actions.push_back(std::move(*action));
    }
  }
  return note;
}

std::optional<CleaningNote> cleaningNoteOf(const ZKDuplicate& duplicate) {
  if (!duplicate.cleaningNoteData) return std::nullopt;
  auto value = parseJson(*duplicate.cleaningNoteData);
  return value.hasValue() ? CleaningNote::decode(value.value()) : std::nullopt;
}

void setCleaningNote(ZKDuplicate& duplicate, const std::optional<CleaningNote>& note) {
  if (note) {
    duplicate.cleaningNoteData = dumpJson(note->encode());
    duplicate.cleanID = note->cleanID;
  } else {
    duplicate.cleaningNoteData.reset();
    duplicate.cleanID.reset();
  }
}

bool isCleaned(const ZKDuplicate& duplicate) {
  if (!duplicate.cleanID) return false;
  auto note = cleaningNoteOf(duplicate);
  return !note || !note->error;  // a note that cannot be read says nothing: the copy may be gone
}

bool canRevert(const CleaningAction& action) {
  return std::visit(Overloaded{
                        [](const CleaningMovedAction& moved) { return moved.destination.has_value(); },
                        [](const CleaningMovedToTrashAction& trashed) { return trashed.destination.has_value(); },
                        [](const CleaningRemovedAction&) { return false; },
                        [](const CleaningReplacedWithHardlinkAction& link) { return link.destinationURL.has_value(); },
                    },
                    action);
}

bool CleaningNote::canRevert() const {
  if (reverted || error) return false;
  if (pending) return option.kind != FileCleaningOption::Kind::removePermanently;
  // A removal followed by a hard link can be undone by giving the copy its own bytes again.
  for (size_t i = 0; i < actions.size(); ++i) {
    const bool replaced = i + 1 < actions.size() && std::holds_alternative<CleaningReplacedWithHardlinkAction>(actions[i + 1]);
    const bool removedThenLinked = std::holds_alternative<CleaningRemovedAction>(actions[i]) && replaced;
    if (!removedThenLinked && !zarnik::canRevert(actions[i])) return false;
  }
  return true;
}

}  // namespace zarnik
