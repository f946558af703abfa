// EquivalenceKind: the ten kinds of groups the engine knows, with their fixed raw numbers.
// Kinds 6 to 8 are intermediate stages whose groups are never handed out.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace zarnik {

enum class EquivalenceKind {
  exactHash = 0,
  exactAudioHash = 1,
  exactApp = 2,
  similarImage = 3,
  similarAudio = 4,
  similarApp = 5,
  exactSize = 6,
  exactAudioSize = 7,
  symlinkTargetPath = 8,
  directory = 9,
};

inline constexpr std::array<EquivalenceKind, 10> kAllEquivalenceKinds = {
    EquivalenceKind::exactHash,         EquivalenceKind::exactAudioHash,
    EquivalenceKind::exactApp,          EquivalenceKind::similarImage,
    EquivalenceKind::similarAudio,      EquivalenceKind::similarApp,
    EquivalenceKind::exactSize,         EquivalenceKind::exactAudioSize,
    EquivalenceKind::symlinkTargetPath, EquivalenceKind::directory};

[[nodiscard]] constexpr bool isSimilar(EquivalenceKind kind) {
  return kind == EquivalenceKind::similarImage || kind == EquivalenceKind::similarAudio ||
         kind == EquivalenceKind::similarApp;
}
[[nodiscard]] constexpr bool shouldPublicateCandidates(EquivalenceKind kind) {
  return kind != EquivalenceKind::exactSize && kind != EquivalenceKind::exactAudioSize &&
         kind != EquivalenceKind::symlinkTargetPath;
}
[[nodiscard]] constexpr bool duplicatesHaveAccumulatableSize(EquivalenceKind kind) {
  return kind == EquivalenceKind::exactHash || kind == EquivalenceKind::exactAudioHash ||
         kind == EquivalenceKind::exactApp;
}
[[nodiscard]] constexpr bool allowsReplacementWithHardLinks(EquivalenceKind kind) {
  return kind ==
         EquivalenceKind::exactHash;  // identical audio differs in its tags: a link would lose them
}
// The claimer of a group of this kind: exact 2, similar 1 (folders claim 4 on their own).
[[nodiscard]] constexpr int claimerOf(EquivalenceKind kind) {
  return 2 - (isSimilar(kind) ? 1 : 0);
}

// "exactHash", ...: the case name.
[[nodiscard]] std::string_view rawValue(EquivalenceKind kind);
[[nodiscard]] std::optional<EquivalenceKind> equivalenceKindFromRawValue(std::string_view raw);
// "exact hash", "perceptual-image", ...: the name in exported documents.
[[nodiscard]] std::string_view exportName(EquivalenceKind kind);

}  // namespace zarnik
