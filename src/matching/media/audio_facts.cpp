#include "matching/media/audio_facts.h"

#include "foundation/disk_access_manager.h"
#include "matching/audio_metadata.h"
#include "platform/audio_data_locator.h"
#include "platform/audio_tags.h"

namespace zarnik {
namespace {

struct ReadAudio {
  std::optional<AudioInfo> info;
  bool hasTags = false;
};

ReadAudio readAudio(const std::string& path, QualityOfService priority) {
  ReadAudio read;
  auto session =
      DiskAccessManager::shared().beginAccessingURL(path, "audioInfo(forNode:)", priority);
  if (!session) return read;
  AudioInfo info;
  if (auto tags = readAudioTags(path); tags.hasValue()) {
    info.title = tags.value().title;
    info.album = tags.value().album;
    info.artist = tags.value().artist;
    info.duration = tags.value().duration;
    if (tags.value().bitRate > 0)
      info.bitrate = static_cast<std::uint32_t>(tags.value().bitRate);  // kbit/s
    read.hasTags = true;
  }
  if (auto located = locateAudioDataInFile(path); located.hasValue() && located.value()) {
    info.contentSize = located.value()->length;
  }
  if (read.hasTags || info.contentSize) read.info = std::move(info);
  return read;
}

}  // namespace

bool isMatchedAsAudio(const MatchingNode& node, const MatchingSettings& settings) {
  return (settings.kinds.audioContent || settings.kinds.similarAudio) &&
         node.type() == NodeType::audio && node.attributes().vnodeType == VNodeType::regular &&
         node.attributes().exactSize > 0;
}

std::vector<EquivalenceInfoPtr> readAudioInformation(MatchingNode& node,
                                                     const MatchingSettings& settings,
                                                     QualityOfService priority) {
  const ReadAudio read = readAudio(node.path(), priority);
  if (read.info) node.setAudioInfo(*read.info);
  std::vector<EquivalenceInfoPtr> infos;
  if (settings.kinds.similarAudio) {
    const auto* track = dynamic_cast<const MatchingITunesItemNode*>(&node);
    if (track != nullptr && track->iTunesItemInfo()) {
      if (auto info = AudioMetadataEquivalenceInfo::of(*track->iTunesItemInfo()))
        infos.push_back(std::move(info));
    } else if (read.hasTags) {
      infos.push_back(AudioMetadataEquivalenceInfo::of(*read.info));
    }
  }
  if (settings.kinds.audioContent && read.info && read.info->contentSize) {
    infos.push_back(std::make_shared<AudioSizeEquivalenceInfo>(*read.info->contentSize));
  } else if (settings.digestsFiles()) {
    infos.push_back(
        std::make_shared<SizeEquivalenceInfo>(node.attributes().exactSize));  // matched as a file
  }
  return infos;
}

}  // namespace zarnik
