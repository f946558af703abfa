// RawDataStorage: rules and settings that are whole object graphs, kept as archives in ZKRawData
// records, one record per object, grouped by kind and ordered by index. Archives are written
// with the context's substitutions (a scan location of the store's list becomes its position, a
// stored media-library folder its position in that list) and resolved again on reading, so a
// rule that names a location follows the list when it changes.
//
// A record that cannot be read is logged and left out: a single value is then absent, a list
// lacks that entry.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "file_model/scan_rules.h"
#include "foundation/url_resolver.h"
#include "selection/selection_rules.h"
#include "store/managed_object_context.h"

namespace zarnik {

class RawDataStorage {
 public:
  // Reads every record of the context and sorts them by kind.
  static Result<std::unique_ptr<RawDataStorage>> make(ManagedObjectContext& context);

  [[nodiscard]] std::shared_ptr<ExtendedScanRules> scanRules() const;  // nullptr: none stored
  Result<void> setScanRules(const ExtendedScanRules* rules);
  [[nodiscard]] std::vector<SmartSelectionRuleInfo> smartSelectionRuleInfos() const;
  Result<void> setSmartSelectionRuleInfos(const std::vector<SmartSelectionRuleInfo>& infos);
  Result<void> addSmartSelectionRuleInfo(const SmartSelectionRuleInfo& info);
  [[nodiscard]] std::vector<std::string> alwaysSelectionRules() const;
  Result<void> setAlwaysSelectionRules(const std::vector<std::string>& paths);
  [[nodiscard]] std::vector<std::string> neverSelectionRules() const;
  Result<void> setNeverSelectionRules(const std::vector<std::string>& paths);
  [[nodiscard]] std::optional<OVURLResolver> URLResolver() const;
  Result<void> setURLResolver(const std::optional<OVURLResolver>& resolver);
  [[nodiscard]] std::vector<std::shared_ptr<const ZKBaseNode>> mediaLibraryNodes() const;
  Result<void> setMediaLibraryNodes(const std::vector<std::shared_ptr<const ZKBaseNode>>& nodes);
  // Cleaning sessions are read by the cleaning service; here they are their archives.
  [[nodiscard]] std::vector<Json> cleaningSessions() const;
  Result<void> setCleaningSessions(const std::vector<Json>& sessions);

  // `global` with its always- and never-select folders and smart rules replaced by the stored ones.
  [[nodiscard]] ExtendedAutoselectionRules localAutoselectionRules(const ExtendedAutoselectionRules& global) const;

  [[nodiscard]] const std::vector<ZKRawData>& records(ZKRawData::Kind kind) const;
  // Records whose kind this version does not know; they belong to no list.
  [[nodiscard]] const std::vector<ZKRawData>& recordsWithoutKind() const { return recordsWithoutKind_; }

 private:
  explicit RawDataStorage(ManagedObjectContext& context) : context_(context) {}
  [[nodiscard]] ArchiveSubstitutions substitutions() const;
  [[nodiscard]] std::vector<Json> models(ZKRawData::Kind kind) const;
  Result<void> setModels(ZKRawData::Kind kind, const std::vector<Json>& values);

  ManagedObjectContext& context_;
  std::map<ZKRawData::Kind, std::vector<ZKRawData>> recordsByKind_;
  std::vector<ZKRawData> recordsWithoutKind_;
};

}  // namespace zarnik
