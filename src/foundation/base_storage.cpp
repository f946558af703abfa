#include "foundation/base_storage.h"

#include "foundation/logger.h"

#include <fmt/format.h>

#include <algorithm>

namespace zarnik {

PropertyTable::PropertyTable(std::vector<PropertyMetainfo> metainfos)
    : metainfos_(std::move(metainfos)) {
  for (size_t i = 0; i < metainfos_.size(); ++i) {
    propertyNameToMetaInfosMapping_.emplace(metainfos_[i].name, i);
  }
}

const PropertyMetainfo* PropertyTable::find(std::string_view name) const {
  auto it = propertyNameToMetaInfosMapping_.find(name);
  return it == propertyNameToMetaInfosMapping_.end() ? nullptr : &metainfos_[it->second];
}

void ObjectAcceptingMissingKeyPaths::setValueForUndefinedKey(const Json& value,
                                                             std::string_view key) const {
  Logger::shared().log("ObjectAcceptingMissingKeyPaths", "setValue(_:forUndefinedKey:)",
                       fmt::format("Did fail to set value {} for key {} for {}", dumpJson(value),
                                   key, description()));
}

Json ObjectAcceptingMissingKeyPaths::valueForUndefinedKey(std::string_view key) const {
  Logger::shared().log("ObjectAcceptingMissingKeyPaths", "value(forUndefinedKey:)",
                       fmt::format("Did fail to get value for key {} for {}", key, description()));
  return nullptr;
}

BaseStorage::BaseStorage() : receptionist_(NotificationDispatcher::make()) {}

void BaseStorage::initializeDefaults() {
  for (const PropertyMetainfo& meta : propertyTable().propertyMetainfos()) {
    if (meta.isSubstorage()) {
      auto storage = meta.substorageFactory();
      substorages_[meta.name] = storage;
      subscribeToSubstorage(meta.name, storage);
    } else {
      values_[meta.name] = meta.defaultValue.value_or(Json(nullptr));
    }
  }
}

void BaseStorage::subscribeToSubstorage(const std::string& key,
                                        const std::shared_ptr<BaseStorage>& storage) {
  // The sub-storage is owned by this object, so a raw `this` cannot outlive it.
  std::weak_ptr<BaseStorage> weakSubstorage = storage;
  registeredNotificationTokensByKeys_[key] =
      storage->receptionist()->addObserver(std::string(kPropertyValuesChangedNotification),
                                           [this, key, weakSubstorage](const Notification&) {
                                             if (auto sub = weakSubstorage.lock())
                                               postChange(key, sub->exportJSON());
                                           });
}

Json BaseStorage::valueForKey(std::string_view key) const {
  const PropertyMetainfo* meta = propertyMetaInfo(key);
  if (meta == nullptr) return valueForUndefinedKey(key);
  std::lock_guard lock(mutex_);
  if (meta->isSubstorage()) return substorages_.find(key)->second->exportJSON();
  return values_.find(key)->second;
}

std::shared_ptr<BaseStorage> BaseStorage::substorage(std::string_view key) const {
  std::lock_guard lock(mutex_);
  auto it = substorages_.find(key);
  return it == substorages_.end() ? nullptr : it->second;
}

void BaseStorage::setValueForKey(std::string_view key, Json value) {
  const PropertyMetainfo* meta = propertyMetaInfo(key);
  if (meta == nullptr) {
    setValueForUndefinedKey(value, key);
    return;
  }
  if (meta->isSubstorage()) {
    if (auto sub = substorage(key); sub && sub->importJSON(value).hasError()) {
      setValueForUndefinedKey(value, key);
    }
    return;  // the sub-storage's own notification reports the change
  }
  if (value.is_null() && meta->defaultValue) value = *meta->defaultValue;
  {
    std::lock_guard lock(mutex_);
    Json& slot = values_.find(key)->second;
    if (slot == value) return;
    slot = value;
  }
  postChange(meta->name, value);
  didChangeValueForKey(meta->name);
}

void BaseStorage::postChange(const std::string& key, const Json& value) {
  receptionist_->post(Notification{std::string(kPropertyValuesChangedNotification), this,
                                   Json{{std::string(kPropertyValuesChangedKeyKey), key},
                                        {std::string(kPropertyValuesChangedValueKey), value}}});
}

void BaseStorage::assignFrom(const BaseStorage& prototype) {
  for (const PropertyMetainfo& meta : propertyTable().propertyMetainfos()) {
    setValueForKey(meta.name, prototype.valueForKey(meta.name));
  }
}

std::shared_ptr<BaseStorage> BaseStorage::copy() const {
  auto fresh = makeFresh();
  fresh->assignFrom(*this);
  return fresh;
}

Json BaseStorage::encode() const {
  Json archive = Json::object();
  archive[std::string(kClassKey)] = std::string(className());
  std::lock_guard lock(mutex_);
  for (const PropertyMetainfo& meta : propertyTable().propertyMetainfos()) {
    if (meta.isSubstorage()) {
      archive[meta.name] = substorages_.find(meta.name)->second->encode();
      continue;
    }
    const Json& value = values_.find(meta.name)->second;
    archive[meta.name] = meta.valueTransformerForCoding != nullptr
                             ? meta.valueTransformerForCoding->transform(value)
                             : value;
  }
  return archive;
}

Json BaseStorage::exportJSON() const {
  Json json = Json::object();
  std::lock_guard lock(mutex_);
  for (const PropertyMetainfo& meta : propertyTable().propertyMetainfos()) {
    if (meta.isSubstorage()) {
      json[meta.name] = substorages_.find(meta.name)->second->exportJSON();
      continue;
    }
    const Json& value = values_.find(meta.name)->second;
    json[meta.name] = meta.valueTransformerForPlistTransformation != nullptr
                          ? meta.valueTransformerForPlistTransformation->transform(value)
                          : value;
  }
  return json;
}

Result<std::vector<BaseStorage::DecodedValue>> BaseStorage::readValues(const Json& object,
                                                                       bool coding) const {
  if (!object.is_object()) {
    return Error::generic(fmt::format("The stored {} is not an object.", className()));
  }
  std::vector<DecodedValue> decoded;
  for (const PropertyMetainfo& meta : propertyTable().propertyMetainfos()) {
    auto it = object.find(meta.name);
    if (it == object.end() || meta.isSubstorage()) continue;
    const ValueTransformer* transformer =
        coding ? meta.valueTransformerForCoding : meta.valueTransformerForPlistTransformation;
    Json value = *it;
    if (transformer != nullptr && !value.is_null()) {
      std::optional<Json> reversed = transformer->reverse(value);
      if (!reversed) {
        return Error::generic(
            fmt::format("The stored value of {}.{} cannot be read.", className(), meta.name));
      }
      value = std::move(*reversed);
    }
    if (!value.is_null() && !meta.classes.empty() &&
        std::find(meta.classes.begin(), meta.classes.end(), value.type_name()) ==
            meta.classes.end()) {
      return Error::generic(fmt::format("The stored value of {}.{} is a {}, not a {}.", className(),
                                        meta.name, value.type_name(),
                                        fmt::join(meta.classes, " or ")));
    }
    decoded.push_back({meta.name, std::move(value)});
  }
  return decoded;
}

Result<void> BaseStorage::decode(const Json& archive) {
  const std::optional<std::string> tag = jsonString(archive, kClassKey);
  if (!tag || *tag != className()) {
    return Error::generic(fmt::format("The archive is not a {}.", className()));
  }
  ZK_ASSIGN_OR_RETURN(auto values, readValues(archive, /*coding=*/true));
  for (const PropertyMetainfo& meta : propertyTable().propertyMetainfos()) {
    if (!meta.isSubstorage()) continue;
    if (const Json* nested = jsonMember(archive, meta.name))
      ZK_TRY(substorage(meta.name)->decode(*nested));
  }
  for (auto& [name, value] : values) setValueForKey(name, std::move(value));
  return success();
}

Result<void> BaseStorage::importJSON(const Json& json) {
  ZK_ASSIGN_OR_RETURN(auto values, readValues(json, /*coding=*/false));
  for (const PropertyMetainfo& meta : propertyTable().propertyMetainfos()) {
    if (!meta.isSubstorage()) continue;
    if (const Json* nested = jsonMember(json, meta.name))
      ZK_TRY(substorage(meta.name)->importJSON(*nested));
  }
  for (auto& [name, value] : values) setValueForKey(name, std::move(value));
  return success();
}

ObservationToken BaseStorage::observeChanges(
    std::function<void(const std::string& key, const Json& value)> handler) {
  return receptionist_->addObserver(
      std::string(kPropertyValuesChangedNotification),
      [handler = std::move(handler)](const Notification& n) {
        handler(n.userInfo.value(std::string(kPropertyValuesChangedKeyKey), std::string()),
                n.userInfo.value(std::string(kPropertyValuesChangedValueKey), Json()));
      });
}

std::string BaseStorage::debugDescription() const {
  std::string text = fmt::format("<{}", className());
  const Json json = exportJSON();
  for (const PropertyMetainfo& meta : propertyTable().propertyMetainfos()) {
    text += fmt::format(" {}={}", meta.name, dumpJson(json[meta.name]));
  }
  return text + ">";
}

}  // namespace zarnik
