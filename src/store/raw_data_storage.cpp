#include "store/raw_data_storage.h"

#include "foundation/logger.h"

namespace zarnik {
namespace {

void logUnreadable(const ZKRawData& record) {
  Logger::shared().log("RawDataStorage", "models(rawGetter:)",
                       "Did fail to decode the stored " + record.rawKind + " at index " + std::to_string(record.index));
}

std::vector<Json> stringsJson(const std::vector<std::string>& strings) {
  std::vector<Json> values;
  for (const auto& string : strings) values.push_back(bytesJson(string));
  return values;
}

std::vector<std::string> stringsFrom(const std::vector<Json>& values) {
  std::vector<std::string> strings;
  for (const auto& value : values) {
    if (auto string = bytesFromJson(value)) strings.push_back(std::move(*string));
  }
  return strings;
}

}  // namespace

Result<std::unique_ptr<RawDataStorage>> RawDataStorage::make(ManagedObjectContext& context) {
  std::unique_ptr<RawDataStorage> storage(new RawDataStorage(context));
  ZK_ASSIGN_OR_RETURN(auto records, context.fetchRawData());
  for (auto& record : records) {
    if (auto kind = record.kind()) {
      storage->recordsByKind_[*kind].push_back(std::move(record));
    } else {
      storage->recordsWithoutKind_.push_back(std::move(record));
    }
  }
  return storage;
}

const std::vector<ZKRawData>& RawDataStorage::records(ZKRawData::Kind kind) const {
  static const std::vector<ZKRawData> kNone;
  auto it = recordsByKind_.find(kind);
  return it == recordsByKind_.end() ? kNone : it->second;
}

ArchiveSubstitutions RawDataStorage::substitutions() const {
  std::vector<std::shared_ptr<const ZKBaseNode>> nodes;
  // The media-library list itself is stored without substitutions of media-library nodes.
  for (const auto& record : records(ZKRawData::Kind::MediaLibraryNode)) {
    auto value = unarchivedValue(record.data, rawValue(ZKRawData::Kind::MediaLibraryNode));
    auto node = value ? ZKBaseNode::decode(ArchiveSubstitutions(context_.scanLocations(), {}).resolve(*value))
                      : Result<std::shared_ptr<ZKBaseNode>>(Error::generic("unreadable"));
    nodes.push_back(node.hasValue() ? node.value() : nullptr);
  }
  return ArchiveSubstitutions(context_.scanLocations(), std::move(nodes));
}

std::vector<Json> RawDataStorage::models(ZKRawData::Kind kind) const {
  const ArchiveSubstitutions resolver = substitutions();
  std::vector<Json> values;
  for (const auto& record : records(kind)) {
    auto value = unarchivedValue(record.data, rawValue(kind));
    if (!value) {
      logUnreadable(record);
      continue;
    }
    values.push_back(resolver.resolve(std::move(*value)));
  }
  return values;
}

Result<void> RawDataStorage::setModels(ZKRawData::Kind kind, const std::vector<Json>& values) {
  const ArchiveSubstitutions substituter = kind == ZKRawData::Kind::MediaLibraryNode
                                               ? ArchiveSubstitutions(context_.scanLocations(), {})
                                               : substitutions();
  std::vector<std::string> archives;
  for (const auto& value : values) archives.push_back(archivedText(rawValue(kind), substituter.substitute(value)));
  ZK_TRY(context_.replaceRawData(kind, archives));
  auto& records = recordsByKind_[kind];
  records.clear();
  for (size_t index = 0; index < archives.size(); ++index) {
    records.push_back({std::string(rawValue(kind)), static_cast<std::int64_t>(index), std::move(archives[index])});
  }
  return success();
}

std::shared_ptr<ExtendedScanRules> RawDataStorage::scanRules() const {
  for (const auto& value : models(ZKRawData::Kind::ScanRules)) {
    auto rules = std::make_shared<ExtendedScanRules>();
    if (rules->decode(value).hasValue()) return rules;
    logUnreadable(records(ZKRawData::Kind::ScanRules).front());
  }
  return nullptr;
}

Result<void> RawDataStorage::setScanRules(const ExtendedScanRules* rules) {
  return setModels(ZKRawData::Kind::ScanRules, rules ? std::vector<Json>{rules->encode()} : std::vector<Json>{});
}

std::vector<SmartSelectionRuleInfo> RawDataStorage::smartSelectionRuleInfos() const {
  std::vector<SmartSelectionRuleInfo> infos;
  for (const auto& value : models(ZKRawData::Kind::SmartSelectionRule)) {
    if (auto info = SmartSelectionRuleInfo::decode(value)) infos.push_back(std::move(*info));
  }
  return infos;
}

Result<void> RawDataStorage::setSmartSelectionRuleInfos(const std::vector<SmartSelectionRuleInfo>& infos) {
  std::vector<Json> values;
  for (const auto& info : infos) values.push_back(info.encode());
  return setModels(ZKRawData::Kind::SmartSelectionRule, values);
}

Result<void> RawDataStorage::addSmartSelectionRuleInfo(const SmartSelectionRuleInfo& info) {
  auto infos = smartSelectionRuleInfos();
  infos.push_back(info);
  return setSmartSelectionRuleInfos(infos);
}

std::vector<std::string> RawDataStorage::alwaysSelectionRules() const {
  return stringsFrom(models(ZKRawData::Kind::AlwaysSelectRule));
}

Result<void> RawDataStorage::setAlwaysSelectionRules(const std::vector<std::string>& paths) {
  return setModels(ZKRawData::Kind::AlwaysSelectRule, stringsJson(paths));
}

std::vector<std::string> RawDataStorage::neverSelectionRules() const {
  return stringsFrom(models(ZKRawData::Kind::NeverSelectRule));
}

Result<void> RawDataStorage::setNeverSelectionRules(const std::vector<std::string>& paths) {
  return setModels(ZKRawData::Kind::NeverSelectRule, stringsJson(paths));
}

std::optional<OVURLResolver> RawDataStorage::URLResolver() const {
  for (const auto& value : models(ZKRawData::Kind::URLResolver)) {
    auto resolver = OVURLResolver::decode(value);
    if (resolver.hasValue()) return std::move(resolver).value();
  }
  return std::nullopt;
}

Result<void> RawDataStorage::setURLResolver(const std::optional<OVURLResolver>& resolver) {
  return setModels(ZKRawData::Kind::URLResolver, resolver ? std::vector<Json>{resolver->encode()} : std::vector<Json>{});
}

std::vector<std::shared_ptr<const ZKBaseNode>> RawDataStorage::mediaLibraryNodes() const {
  std::vector<std::shared_ptr<const ZKBaseNode>> nodes;
  for (const auto& value : models(ZKRawData::Kind::MediaLibraryNode)) {
    auto node = ZKBaseNode::decode(value);
    if (node.hasValue()) nodes.push_back(node.value());
  }
  return nodes;
}

Result<void> RawDataStorage::setMediaLibraryNodes(const std::vector<std::shared_ptr<const ZKBaseNode>>& nodes) {
  std::vector<Json> values;
  for (const auto& node : nodes) {
    if (node) values.push_back(node->encode());
  }
  return setModels(ZKRawData::Kind::MediaLibraryNode, values);
}

std::vector<Json> RawDataStorage::cleaningSessions() const { return models(ZKRawData::Kind::CleaningSession); }

Result<void> RawDataStorage::setCleaningSessions(const std::vector<Json>& sessions) {
  return setModels(ZKRawData::Kind::CleaningSession, sessions);
}

ExtendedAutoselectionRules RawDataStorage::localAutoselectionRules(const ExtendedAutoselectionRules& global) const {
  ExtendedAutoselectionRules local = global;
  local.alwaysSelectPaths = alwaysSelectionRules();
  local.neverSelectPaths = neverSelectionRules();
  local.smartSelectionRuleInfos = smartSelectionRuleInfos();
  return local;
}

}  // namespace zarnik
