// What `zarnik --version` prints: the program's version, the libraries it was built with, and
// where its picture module was found (which proves the installed layout is whole).
#pragma once

#include <string>

namespace zarnik::cli {

[[nodiscard]] std::string versionText();

}  // namespace zarnik::cli
