// Whether the program talks to a person at a terminal, and how wide that terminal is: progress
// lines are drawn only there, and a confirmation is asked only of someone who can answer.
#pragma once

#include <optional>

namespace zarnik {

enum class StandardStream { input, output, error };

[[nodiscard]] bool isTerminal(StandardStream stream);
// The terminal's width in columns; nothing when the stream is not a terminal.
[[nodiscard]] std::optional<int> terminalColumns(StandardStream stream);

}  // namespace zarnik
