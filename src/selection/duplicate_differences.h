// Difference detection: each copy's values of every kind of difference, which kinds differ in
// the group, where each copy's value stands, and the flags the autoselector reads.
#pragma once

#include "base/path_components.h"
#include "file_model/base_node.h"
#include "matching/match_kind.h"
#include "selection/copy_differences.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

// One copy under analysis.
struct NodeDifferencesInfo {
  std::int64_t identifier = 0;
  std::shared_ptr<const ZKBaseNode> node;
  EquivalenceKind equivalenceKind = EquivalenceKind::exactHash;
  std::optional<std::int64_t> hardlinkedGroupID;  // the group's number of the copy's hard links
  DuplicateDifferences differences;
  std::string strippedName;  // the name without copy words, number suffixes and extension
};

// The node's value of every kind it has a value for.
[[nodiscard]] DuplicateFactors fetchDuplicateFactors(const ZKBaseNode& node,
                                                     std::optional<std::int64_t> hardlinkedGroupID);

// What a music or photo library says of a copy that is one of its items, as a person reads it:
// "in your music library, rated 4 stars in Rhythmbox", "in your photo library, rated 4 stars in
// Shotwell"; nothing for a copy that is no library's.
[[nodiscard]] std::optional<std::string> libraryMembershipText(const ZKBaseNode& node);

// Each component of a path (the file name without its extension), as the copy-word, number
// and automatic-name expressions see it.
[[nodiscard]] std::vector<PathComponentPattern> pathComponentPatterns(
    const PathComponents& components);
// Lets go of the folder names the calling thread analysed: the copies of a scan share most of
// their folders, and each name is analysed once per thread until then.
void forgetAnalysedFolderNames();

// Fills every copy's record and returns the kinds in which the copies differ.
EquivalenceDifferencesInfo detectDifferenceInNodeInfos(std::vector<NodeDifferencesInfo>& infos);

}  // namespace zarnik
