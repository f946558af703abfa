#include "matching/matching_information.h"

#include "matching/media/audio_facts.h"
#include "platform/directory_size.h"

namespace zarnik {
namespace {

// Bundles with an identifier and a version, matched with their whole-tree sizes.
std::vector<EquivalenceInfoPtr> applicationInformation(MatchingNode& node,
                                                       const MatchingSettings& settings) {
  std::vector<EquivalenceInfoPtr> infos;
  if (!settings.kinds.apps && !settings.similarApplications) return infos;
  const auto& bundle = node.bundleInfo();
  if (!bundle || !bundle->bundleIdentifier) return infos;
  std::optional<std::string> version = bundle->displayVersion;
  if (!version && bundle->arrangeVersion) version = bundle->arrangeVersion->string();
  if (!version) return infos;
  if (auto sizes = measureDirectory(node.path()); sizes.hasValue()) {
    node.setWholeBundleSizes(sizes.value().diskSize, sizes.value().exactSize);
  }
  if (settings.kinds.apps) {
    infos.push_back(
        std::make_shared<ExactApplicationEquivalenceInfo>(ExactApplicationEquivalenceCriterion{
            *bundle->bundleIdentifier, *version, node.attributes().diskSize}));
  }
  if (settings.similarApplications) {
    infos.push_back(std::make_shared<SimilarApplicationEquivalenceInfo>(*bundle->bundleIdentifier));
  }
  return infos;
}

}  // namespace

std::vector<EquivalenceInfoPtr> matchingInformationOf(MatchingNode& node,
                                                      const MatchingSettings& settings) {
  std::vector<EquivalenceInfoPtr> infos;
  const NodeType type = node.type();
  if (isMediaLibrary(type)) return infos;
  if (type == NodeType::macApplication) return applicationInformation(node, settings);
  if (node.isDirectory()) {
    // Folders are matched by their contents, never by size.
    if (settings.kinds.folders) infos.push_back(std::make_shared<DirectoryEquivalenceInfo>());
    return infos;
  }
  if (isMatchedAsAudio(node, settings))
    return infos;  // decided once its tags and audio data are read
  if (settings.digestsFiles())
    infos.push_back(std::make_shared<SizeEquivalenceInfo>(node.attributes().exactSize));
  return infos;
}

}  // namespace zarnik
