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
