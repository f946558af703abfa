// Undoing one copy's cleaning from its note: a trashed copy comes back from the trash, a moved
// one from its folder, a copy replaced by a hard link becomes a file of its own again. Nothing
// at the copy's former place is ever replaced; a permanent removal cannot be undone.
#pragma once

#include <string>

#include "base/result.h"
#include "cleaning/cleaning_note.h"

namespace zarnik {

// The copy's path once it is back.
[[nodiscard]] Result<std::string> revertCleaning(const CleaningNote& note);

}  // namespace zarnik
