#include "base/json.h"

#include "base/byte_path.h"

namespace zarnik {

Result<Json> parseJson(std::string_view text, std::string_view origin) {
  Json json = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) {
    return Error::generic("The data is not valid JSON.", std::string(origin));
  }
  return json;
}

std::string dumpJson(const Json& json, int indent) {
  // Replacement instead of throwing keeps a stray byte from aborting an export.
  return json.dump(indent, ' ', false, Json::error_handler_t::replace);
}

Json bytesJson(std::string_view bytes) { return bytesToJsonText(bytes); }

std::optional<std::string> bytesFromJson(const Json& json) {
  if (!json.is_string()) return std::nullopt;
  return jsonTextToBytes(json.get_ref<const std::string&>());
}

Json bytesListJson(const std::vector<std::string>& list) {
  Json array = Json::array();
  for (const auto& item : list) array.push_back(bytesJson(item));
  return array;
}

std::optional<std::vector<std::string>> bytesListFromJson(const Json& json) {
  if (!json.is_array()) return std::nullopt;
  std::vector<std::string> list;
  list.reserve(json.size());
  for (const auto& item : json) {
    auto bytes = bytesFromJson(item);
    if (!bytes) return std::nullopt;
    list.push_back(std::move(*bytes));
  }
  return list;
}

Json hexJson(std::string_view data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(data.size() * 2);
  for (unsigned char c : data) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
  }
  return out;
}

std::optional<std::string> dataFromHexJson(const Json& json) {
  if (!json.is_string()) return std::nullopt;
  const auto& text = json.get_ref<const std::string&>();
  if (text.size() % 2 != 0) return std::nullopt;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  out.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int hi = nibble(text[i]);
    const int lo = nibble(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>((hi << 4) | lo);
  }
  return out;
}

const Json* jsonMember(const Json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

std::optional<bool> jsonBool(const Json& object, std::string_view key) {
  const Json* m = jsonMember(object, key);
  if (m == nullptr || !m->is_boolean()) return std::nullopt;
  return m->get<bool>();
}

std::optional<std::int64_t> jsonInt(const Json& object, std::string_view key) {
  const Json* m = jsonMember(object, key);
  if (m == nullptr || !m->is_number_integer()) return std::nullopt;
  return m->get<std::int64_t>();
}

std::optional<double> jsonDouble(const Json& object, std::string_view key) {
  const Json* m = jsonMember(object, key);
  if (m == nullptr || !m->is_number()) return std::nullopt;
  return m->get<double>();
}

std::optional<std::string> jsonString(const Json& object, std::string_view key) {
  const Json* m = jsonMember(object, key);
  if (m == nullptr) return std::nullopt;
  return bytesFromJson(*m);
}

}  // namespace zarnik
