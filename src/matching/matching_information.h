// Which information a listed item is first matched by: a file by its size (its digest comes
// later, when another file shares the size), a folder by its contents, an application by its
// identifier and version. Audio files wait for their tags; media libraries are not matched.
#pragma once

#include "matching/match_criterion.h"
#include "matching/matching_node.h"
#include "matching/matching_settings.h"

#include <vector>

namespace zarnik {

[[nodiscard]] std::vector<EquivalenceInfoPtr> matchingInformationOf(
    MatchingNode& node, const MatchingSettings& settings);

}  // namespace zarnik
