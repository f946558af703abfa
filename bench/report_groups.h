// The groups the benchmarks work on: GROUPS groups of three copies of one small file each (the
// original, a copy with a copy word, and one in an automatically named folder), made as real
// files under a fresh folder of $TMPDIR so that the copies can be told apart as a scan would.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scanning/detection_result.h"

namespace zarnik::bench {

struct ReportGroups {
  std::string root;  // remove it when done
  ScanLocationPtr location;
  std::vector<scanning_service::DetectionResult> results;
};

inline ReportGroups makeReportGroups(int groups, const char* name) {
  ReportGroups made;
  const char* tmp = std::getenv("TMPDIR");
  made.root = std::string(tmp != nullptr ? tmp : "/tmp") + "/" + name + "-XXXXXX";
  if (::mkdtemp(made.root.data()) == nullptr) std::exit(1);
  const OVURLResolver resolver(made.root);
  made.location = ScanLocation::make(made.root, resolver);
  for (const char* folder : {"Documents/old", "Desktop/untitled folder"}) {
    std::filesystem::create_directories(made.root + "/" + folder);
  }
  std::int64_t identifier = 1;
  for (int g = 0; g < groups; ++g) {
    scanning_service::DetectionResult result;
    const std::string names[] = {"Documents/report " + std::to_string(g) + ".pdf",
                                 "Documents/old/report " + std::to_string(g) + " copy.pdf",
                                 "Desktop/untitled folder/report " + std::to_string(g) + ".pdf"};
    for (const auto& file : names) {
      std::ofstream(made.root + "/" + file) << "content of group " << g;
      NodeContent content;
      content.exactFileHashData = std::string(20, static_cast<char>(g));
      scanning_service::Duplicate duplicate;
      duplicate.identifier = identifier++;
      duplicate.node = std::make_shared<ZKFileNode>(NodeLocation::fromRelativePath(made.location, file),
                                                    *NodeAttributes::resourceValuesOf(made.root + "/" + file), content,
                                                    NodeType::document, std::nullopt);
      result.equivalence.duplicates.push_back(std::move(duplicate));
    }
    made.results.push_back(std::move(result));
  }
  return made;
}

}  // namespace zarnik::bench
