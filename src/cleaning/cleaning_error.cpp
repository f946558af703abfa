#include "cleaning/cleaning_error.h"

namespace zarnik {

std::string_view description(CleaningErrorCode code) {
  switch (code) {
    case CleaningErrorCode::photosAgentUnavailable: return "Unable to get Photos agent";
    case CleaningErrorCode::iTunesAgentUnavailable: return "Unable to get iTunes agent";
    case CleaningErrorCode::notEnoughCapacity: return "Destination volume does not have enough available capacity";
    case CleaningErrorCode::destinationNotWritable: return "Destination path is not writable";
    case CleaningErrorCode::destinationUnaccessible: return "Destination path is unaccessible";
    case CleaningErrorCode::destinationInvalid: return "Destination path is invalid";
    case CleaningErrorCode::sourceMissing: return "Source path is missing";
    case CleaningErrorCode::sourceUnaccessible: return "Source path is unaccessible";
    case CleaningErrorCode::sourceInvalid: return "Source path is invalid";
    case CleaningErrorCode::developerModeAbused: return "Developer mode abused";
    case CleaningErrorCode::revertImpossible: return "Revert is impossible";
    case CleaningErrorCode::undefined: return "Undefined Error";
  }
  return "Undefined Error";
}

std::string_view displayedDescription(CleaningErrorCode code) {
  switch (code) {
    case CleaningErrorCode::photosAgentUnavailable: return "The photo library's application cannot be reached";
    case CleaningErrorCode::iTunesAgentUnavailable: return "The music library's application cannot be reached";
    case CleaningErrorCode::notEnoughCapacity: return "Not enough free space at the destination";
    case CleaningErrorCode::destinationNotWritable: return "Not replaced";
    case CleaningErrorCode::destinationUnaccessible: return "The destination cannot be used";
    case CleaningErrorCode::destinationInvalid: return "There is no destination";
    case CleaningErrorCode::sourceMissing: return "The copy is no longer there";
    case CleaningErrorCode::sourceUnaccessible: return "The copy cannot be reached";
    case CleaningErrorCode::sourceInvalid: return "Not removed";
    case CleaningErrorCode::developerModeAbused: return "Not allowed";
    case CleaningErrorCode::revertImpossible: return "Cannot be undone";
    case CleaningErrorCode::undefined: return "Unexpected error";
  }
  return "Unexpected error";
}

Error cleaningError(CleaningErrorCode code, std::string path, std::string reason) {
  Error error;
  error.domain = std::string(kCleaningErrorDomain);
  error.code = static_cast<int>(code);
  error.description = std::string(displayedDescription(code));
  error.path = std::move(path);
  error.underlying = std::move(reason);
  return error;
}

}  // namespace zarnik
