#include "detection/group_title.h"

namespace zarnik {

std::string_view groupTitle(EquivalenceKind kind) {
  switch (kind) {
    case EquivalenceKind::exactHash:
      return "Exact duplicates";
    case EquivalenceKind::exactAudioHash:
      return "Identical audio";
    case EquivalenceKind::exactApp:
      return "Duplicate applications";
    case EquivalenceKind::similarImage:
      return "Similar images";
    case EquivalenceKind::similarAudio:
      return "Similar audio";
    case EquivalenceKind::similarApp:
      return "Similar applications";
    case EquivalenceKind::directory:
      return "Duplicate folders";
    default:
      return exportName(kind);
  }
}

}  // namespace zarnik
