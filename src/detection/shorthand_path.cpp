#include "detection/shorthand_path.h"

#include <algorithm>

namespace zarnik {

ShorthandPathBuilder::ShorthandPathBuilder(const std::vector<std::string>& paths) {
  bool first = true;
  for (const auto& path : paths) {
    PathComponents components = pathComponents(path);
    if (!components.empty()) components.pop_back();  // the name stays with the copy
    if (first) {
      common_ = std::move(components);
      first = false;
      continue;
    }
    const auto differs =
        std::mismatch(common_.begin(), common_.end(), components.begin(), components.end());
    common_.erase(differs.first, common_.end());
  }
}

std::string ShorthandPathBuilder::shorthand(const std::string& path) const {
  const PathComponents components = pathComponents(path);
  if (common_.empty() || !hasComponentPrefix(components, common_)) return path;
  return pathFromComponents(std::span<const std::string>(components).subspan(common_.size()));
}

}  // namespace zarnik
