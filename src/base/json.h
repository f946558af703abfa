// JSON helpers shared by every archiver: tolerant field readers that never throw, and byte
// strings carried through JSON reversibly (see byte_path.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/result.h"

namespace zarnik {

using Json = nlohmann::json;

// Parses text; a syntax error becomes an Error naming `origin` (a path or a description).
[[nodiscard]] Result<Json> parseJson(std::string_view text, std::string_view origin = {});
// Serialises; never throws because every string put into Json goes through bytesToJsonText.
[[nodiscard]] std::string dumpJson(const Json& json, int indent = -1);

// Byte strings (paths, names) to and from JSON text.
[[nodiscard]] Json bytesJson(std::string_view bytes);
[[nodiscard]] std::optional<std::string> bytesFromJson(const Json& json);
[[nodiscard]] Json bytesListJson(const std::vector<std::string>& list);
[[nodiscard]] std::optional<std::vector<std::string>> bytesListFromJson(const Json& json);
// Binary data (digests, identifiers) as lower-case hex.
[[nodiscard]] Json hexJson(std::string_view data);
[[nodiscard]] std::optional<std::string> dataFromHexJson(const Json& json);

// Typed reads of a member; nothing when it is missing or of another type.
[[nodiscard]] std::optional<bool> jsonBool(const Json& object, std::string_view key);
[[nodiscard]] std::optional<std::int64_t> jsonInt(const Json& object, std::string_view key);
[[nodiscard]] std::optional<double> jsonDouble(const Json& object, std::string_view key);
[[nodiscard]] std::optional<std::string> jsonString(const Json& object, std::string_view key);
[[nodiscard]] const Json* jsonMember(const Json& object, std::string_view key);

}  // namespace zarnik
