// MatchingSettings: the scan rules that decide, file by file, what a scan reads and matches,
// read once when the scan starts. The rules themselves are a stored document behind a lock;
// asking them a dozen times per file cost more than listing the file.
#pragma once

#include "file_model/match_kinds.h"
#include "file_model/media_info.h"
#include "file_model/scan_rules.h"

#include <string>
#include <vector>

namespace zarnik {

struct MatchingSettings {
  MatchKinds kinds;
  bool similarApplications = false;
  std::vector<std::string> excludedImageExtensions;  // lowercased, without the dot
  ImageSize smallestComparedImage;  // pictures smaller in both directions are not compared

  [[nodiscard]] static MatchingSettings of(const ExtendedScanRules& rules);
  // Files are digested for exact matching, and for folder matching, which compares files.
  [[nodiscard]] bool digestsFiles() const { return kinds.exact || kinds.folders; }
};

}  // namespace zarnik
