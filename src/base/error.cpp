#include "base/error.h"

#include <cstring>

#include "base/byte_path.h"

namespace zarnik {

Error Error::posix(int errnoValue, std::string path) {
  return Error{std::string(kPosixErrorDomain), errnoValue, std::strerror(errnoValue), std::move(path), {}};
}

Error Error::cancelled() {
  return Error{std::string(kCancellationErrorDomain), -1, "The operation was cancelled.", {}, {}};
}

Error Error::generic(std::string description, std::string path) {
  return Error{std::string(kGenericErrorDomain), -1, std::move(description), std::move(path), {}};
}

bool Error::isCancellation() const { return domain == kCancellationErrorDomain; }

Error Error::withPath(std::string newPath) const {
  Error copy = *this;
  copy.path = std::move(newPath);
  return copy;
}

Error Error::withUnderlying(std::string cause) const {
  Error copy = *this;
  copy.underlying = std::move(cause);
  return copy;
}

std::string Error::oneLine() const {
  std::string line;
  if (!path.empty()) {
    line += displayPath(path);
    line += ": ";
  }
  line += description;
  if (!underlying.empty()) {
    line += " (";
    line += underlying;
    line += ")";
  }
  return line;
}

}  // namespace zarnik
