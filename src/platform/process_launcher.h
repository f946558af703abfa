// Starting helper programs (a terminal with the review, the file manager) that run on their own:
// the program is not waited for and leaves no zombie behind, whatever happens to it later.
#pragma once

#include "base/result.h"

#include <optional>
#include <string>
#include <vector>

namespace zarnik {

// The absolute path of `name` found in $PATH (or `name` itself when it holds a "/" and can be
// run); nothing when there is none.
[[nodiscard]] std::optional<std::string> findProgram(const std::string& name);

// Starts argv[0] (looked up in $PATH) with the arguments, in a session of its own, and returns
// once it runs; an error naming the program when it cannot be started.
[[nodiscard]] Result<void> launchDetached(const std::vector<std::string>& argv);

}  // namespace zarnik
