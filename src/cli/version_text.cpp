#include "cli/version_text.h"

#include "cli/version.h"
#include "platform/image_decoding.h"
#include "platform/library_versions.h"

#include <fmt/format.h>

namespace zarnik::cli {

std::string versionText() {
  std::string text = fmt::format("zarnik {}\nBuilt with:\n", kVersion);
  for (const auto& library : linkedLibraryVersions()) {
    text += fmt::format("  {} {}", library.name, library.builtWith);
    if (!library.running.empty() && library.running != library.builtWith) {
      text += fmt::format(" (running with {})", library.running);
    }
    text += "\n";
  }
  // Loads the module, and libvips with it: only what --version asks for pays that.
  const auto module = pictureModuleFacts();
  if (module.hasValue()) {
    text += fmt::format("  libvips {}, in the picture module {}", module.value().libvipsVersion,
                        module.value().path);
  } else {
    // The reason alone: the error's own description repeats what the line says already.
    const auto& error = module.error();
    text += fmt::format("  libvips: pictures cannot be decoded here ({})",
                        error.underlying.empty() ? error.oneLine() : error.underlying);
  }
  return text;
}

}  // namespace zarnik::cli
