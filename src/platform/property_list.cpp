#include "platform/property_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <memory>

#include <plist/plist.h>

#include "platform/file_reading.h"

namespace zarnik {
namespace {

// Seconds between 1970-01-01 and 2001-01-01, the epoch of property-list dates.
constexpr double kPropertyListEpochOffset = 978307200.0;

struct PlistDeleter {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

bool convert(plist_t node, int depth, Json* out) {
  if (depth > kMaximumPropertyListDepth) return false;
  switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
      *out = Json::object();
      plist_dict_iter iter = nullptr;
      plist_dict_new_iter(node, &iter);
      if (iter == nullptr) return true;
      bool ok = true;
      for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iter, &key, &value);
        if (value == nullptr) {
          free(key);
          break;
        }
        Json converted;
        ok = key != nullptr && convert(value, depth + 1, &converted);
        if (ok) (*out)[bytesJson(key).get<std::string>()] = std::move(converted);
        free(key);
        if (!ok) break;
      }
      free(iter);
      return ok;
    }
    case PLIST_ARRAY: {
      *out = Json::array();
      const uint32_t count = plist_array_get_size(node);
      for (uint32_t i = 0; i < count; ++i) {
        Json converted;
        if (!convert(plist_array_get_item(node, i), depth + 1, &converted)) return false;
        out->push_back(std::move(converted));
      }
      return true;
    }
    case PLIST_STRING:
    case PLIST_KEY: {
      uint64_t length = 0;
      const char* text = plist_get_string_ptr(node, &length);
      *out = bytesJson(text == nullptr ? std::string_view() : std::string_view(text, length));
      return true;
    }
    case PLIST_BOOLEAN: {
      uint8_t value = 0;
      plist_get_bool_val(node, &value);
      *out = value != 0;
      return true;
    }
    case PLIST_UINT: {
      uint64_t value = 0;
      plist_get_uint_val(node, &value);
      // Negative integers arrive as their two's complement.
      *out = static_cast<int64_t>(value);
      return true;
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      // JSON has no infinities or NaN: a real out of range is kept as no value.
      *out = std::isfinite(value) ? Json(value) : Json();
      return true;
    }
    case PLIST_DATE: {
      int32_t sec = 0;
      int32_t usec = 0;
      plist_get_date_val(node, &sec, &usec);
      *out = Json{{"$date", kPropertyListEpochOffset + sec + usec / 1e6}};
      return true;
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const char* data = plist_get_data_ptr(node, &length);
      *out = Json{{"$data", hexJson(data == nullptr ? std::string_view() : std::string_view(data, length))}};
      return true;
    }
    case PLIST_UID: {
      uint64_t value = 0;
      plist_get_uid_val(node, &value);
      *out = value;
      return true;
    }
    default:
      *out = nullptr;
      return true;
  }
}

}  // namespace

Result<Json> parsePropertyList(std::string_view bytes, std::string_view origin) {
  if (bytes.empty() || bytes.size() > kMaximumPropertyListBytes) {
    return Error::generic("The property list is empty or too large.", std::string(origin));
  }
  plist_t root = nullptr;
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
  PlistPtr owner(root);
  if (root == nullptr) {
    return Error::generic("The data is not a property list.", std::string(origin));
  }
  Json json;
  if (!convert(root, 0, &json)) {
    return Error::generic("The property list is nested too deeply.", std::string(origin));
  }
  return json;
}

Result<Json> readPropertyListFile(const std::string& path) {
  ZK_ASSIGN_OR_RETURN(std::string bytes, readWholeFile(path, kMaximumPropertyListBytes));
  return parsePropertyList(bytes, path);
}

}  // namespace zarnik
