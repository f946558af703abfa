// Errors of cleaning and reverting, in the domain "CleaningService.CleaningError"; the code is
// the error's number and the description its fixed text. The reason in the user's terms (which
// check failed, what the system said) goes in the error's underlying text.
#pragma once

#include <string>
#include <string_view>

#include "base/error.h"

namespace zarnik {

inline constexpr std::string_view kCleaningErrorDomain = "CleaningService.CleaningError";

enum class CleaningErrorCode : int {
  photosAgentUnavailable = -18071,
  iTunesAgentUnavailable = -18061,
  notEnoughCapacity = -18044,
  destinationNotWritable = -18043,
  destinationUnaccessible = -18042,
  destinationInvalid = -18041,
  sourceMissing = -18033,
  sourceUnaccessible = -18032,
  sourceInvalid = -18031,
  developerModeAbused = -18003,
  revertImpossible = -18002,
  undefined = -18001,
};

// The fixed text of the log, which is also the key of the text shown.
[[nodiscard]] std::string_view description(CleaningErrorCode code);
// The text shown to the person: what the key says, in the words of a Linux desktop.
[[nodiscard]] std::string_view displayedDescription(CleaningErrorCode code);
// An error whose description is the shown text; the log adds the key from the code.
[[nodiscard]] Error cleaningError(CleaningErrorCode code, std::string path, std::string reason = {});

}  // namespace zarnik
