#include "matching/match_kind.h"

namespace zarnik {
namespace {
constexpr std::string_view kRawValues[] = {
    "exactHash",  "exactAudioHash", "exactApp",       "similarImage",      "similarAudio",
    "similarApp", "exactSize",      "exactAudioSize", "symlinkTargetPath", "directory"};
constexpr std::string_view kExportNames[] = {"exact hash",
                                             "exact audio hash",
                                             "application-exact",
                                             "perceptual-image",
                                             "audio-metadata",
                                             "application-similar",
                                             "size",
                                             "audio content size",
                                             "symlink target path",
                                             "directory"};
}  // namespace

std::string_view rawValue(EquivalenceKind kind) { return kRawValues[static_cast<int>(kind)]; }
std::string_view exportName(EquivalenceKind kind) { return kExportNames[static_cast<int>(kind)]; }

std::optional<EquivalenceKind> equivalenceKindFromRawValue(std::string_view raw) {
  for (EquivalenceKind kind : kAllEquivalenceKinds) {
    if (rawValue(kind) == raw) return kind;
  }
  return std::nullopt;
}

}  // namespace zarnik
