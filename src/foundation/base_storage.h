// BaseStorage: the base of settings, rule and state objects with many named properties.
// A subclass declares its properties once, as a PropertyTable of PropertyMetainfo; the base
// gives defaults, copies, the keyed archive (a JSON object with a class tag checked on reading),
// the JSON export and import, key-value access by name, and change notifications.
//
// Values are kept as JSON values under their property names; subclasses add typed accessors.
// A property whose metainfo has a sub-storage factory holds a nested BaseStorage; a change
// inside it is reported by the outer storage too, under the sub-storage property's name.
//
// Thread safety: reads and writes take an internal lock; notifications are posted on the
// writing thread after the lock is released.
#pragma once

#include "base/json.h"
#include "base/result.h"
#include "foundation/notification_dispatcher.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zarnik {

class BaseStorage;

// A reversible conversion of a property value between its live form and a stored form.
struct ValueTransformer {
  std::function<Json(const Json&)> transform;
  std::function<std::optional<Json>(const Json&)> reverse;  // nothing: the stored value is bad
};

struct PropertyMetainfo {
  std::string name;
  std::optional<Json> defaultValue;
  const ValueTransformer* valueTransformerForCoding = nullptr;
  const ValueTransformer* valueTransformerForPlistTransformation = nullptr;
  bool isMigrationEnabled = false;
  // The JSON kinds accepted when decoding ("boolean", "number", "string", "array", "object").
  std::vector<std::string> classes;
  // Set for a property whose value is itself a storage.
  std::function<std::shared_ptr<BaseStorage>()> substorageFactory;

  [[nodiscard]] bool isSubstorage() const { return static_cast<bool>(substorageFactory); }
};

// The declared properties of one class and the name mapping, built once per class.
class PropertyTable {
 public:
  explicit PropertyTable(std::vector<PropertyMetainfo> metainfos);
  [[nodiscard]] const std::vector<PropertyMetainfo>& propertyMetainfos() const {
    return metainfos_;
  }
  [[nodiscard]] const PropertyMetainfo* find(std::string_view name) const;

 private:
  std::vector<PropertyMetainfo> metainfos_;
  std::unordered_map<std::string_view, size_t> propertyNameToMetaInfosMapping_;
};

// Key-value access that tolerates unknown keys: setting or reading one logs and does nothing.
class ObjectAcceptingMissingKeyPaths {
 public:
  virtual ~ObjectAcceptingMissingKeyPaths() = default;
  [[nodiscard]] virtual std::string description() const = 0;

 protected:
  void setValueForUndefinedKey(const Json& value, std::string_view key) const;
  [[nodiscard]] Json valueForUndefinedKey(std::string_view key) const;
};

class BaseStorage : public ObjectAcceptingMissingKeyPaths {
 public:
  static constexpr std::string_view kPropertyValuesChangedNotification =
      "storage.property-values-changed";
  static constexpr std::string_view kPropertyValuesChangedKeyKey = "key";
  static constexpr std::string_view kPropertyValuesChangedValueKey = "value";
  static constexpr std::string_view kClassKey = "$class";

  ~BaseStorage() override = default;
  BaseStorage(const BaseStorage&) = delete;
  BaseStorage& operator=(const BaseStorage&) = delete;

  [[nodiscard]] virtual const PropertyTable& propertyTable() const = 0;
  [[nodiscard]] virtual std::string_view className() const = 0;
  // A fresh object of the same class with default values.
  [[nodiscard]] virtual std::shared_ptr<BaseStorage> makeFresh() const = 0;

  [[nodiscard]] const PropertyMetainfo* propertyMetaInfo(std::string_view name) const {
    return propertyTable().find(name);
  }

  // Key-value access by property name. Setting null into a property with a default restores
  // the default. Values of sub-storage properties are their exported JSON.
  [[nodiscard]] Json valueForKey(std::string_view key) const;
  void setValueForKey(std::string_view key, Json value);
  [[nodiscard]] std::shared_ptr<BaseStorage> substorage(std::string_view key) const;

  // Copies every declared value from `prototype` (same class), notifying each change.
  void assignFrom(const BaseStorage& prototype);
  [[nodiscard]] std::shared_ptr<BaseStorage> copy() const;

  // Keyed archive: {"$class": className, name: coded value, ...}.
  [[nodiscard]] Json encode() const;
  // Reads an archive of this class; a wrong class tag or a value of a kind the property does
  // not accept fails the whole decoding and leaves the object unchanged.
  Result<void> decode(const Json& archive);
  // JSON export and import keyed by property name (plist transformers applied). Import ignores
  // unknown keys, keeps the current value for missing ones and fails on a value of a wrong kind.
  [[nodiscard]] Json exportJSON() const;
  Result<void> importJSON(const Json& json);

  [[nodiscard]] ObservationToken observeChanges(
      std::function<void(const std::string& key, const Json& value)> handler);
  [[nodiscard]] const std::shared_ptr<NotificationDispatcher>& receptionist() const {
    return receptionist_;
  }

  [[nodiscard]] std::string description() const override { return std::string(className()); }
  [[nodiscard]] std::string debugDescription() const;

 protected:
  BaseStorage();
  // Subclass constructors call this once their table exists: it sets every default and
  // subscribes to sub-storages.
  void initializeDefaults();

  template <typename T>
  [[nodiscard]] T get(std::string_view key, T fallback = T{}) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end() || it->second.is_null()) return fallback;
    try {
      return it->second.get<T>();
    } catch (const Json::exception&) {
      return fallback;
    }
  }
  template <typename T>
  void set(std::string_view key, const T& value) {
    setValueForKey(key, Json(value));
  }
  // Called after a declared property changed and its notification went out; subclasses post
  // notifications of values derived from it here.
  virtual void didChangeValueForKey(const std::string& /*key*/) {}
  void postChange(const std::string& key, const Json& value);

 private:
  struct DecodedValue {
    std::string name;
    Json value;
  };
  Result<std::vector<DecodedValue>> readValues(const Json& object, bool coding) const;
  void subscribeToSubstorage(const std::string& key, const std::shared_ptr<BaseStorage>& storage);

  mutable std::recursive_mutex mutex_;
  std::map<std::string, Json, std::less<>> values_;
  std::map<std::string, std::shared_ptr<BaseStorage>, std::less<>> substorages_;
  std::map<std::string, ObservationToken, std::less<>> registeredNotificationTokensByKeys_;
  std::shared_ptr<NotificationDispatcher> receptionist_;
};

// Builds a fresh storage of a class with every property at its default.
template <typename Storage>
[[nodiscard]] std::shared_ptr<Storage> buildStorageOfDefaultValues() {
  return std::make_shared<Storage>();
}

}  // namespace zarnik
