// Error values carried by Result<T>.
//
// An Error names its domain ("FileServicesError", "CleaningError", "POSIX", ...), a code
// (negative for the system's own enumerations, the errno value for POSIX errors) and the fixed
// English description, which is also the key of its translation. Optional context (the path
// concerned, the underlying cause) is kept apart from the description so that the description
// stays a stable key; front ends combine them into one line with `oneLine()`.
#pragma once

#include <string>
#include <string_view>

namespace zarnik {

struct Error {
  std::string domain;
  int code = 0;
  std::string description;
  std::string path;        // byte path of the item concerned, may be empty
  std::string underlying;  // the cause below this error, may be empty

  static Error posix(int errnoValue, std::string path = {});
  static Error cancelled();
  static Error generic(std::string description, std::string path = {});

  [[nodiscard]] bool isCancellation() const;
  [[nodiscard]] Error withPath(std::string newPath) const;
  [[nodiscard]] Error withUnderlying(std::string cause) const;
  // "<path>: <description> (<underlying>)" with the path made displayable.
  [[nodiscard]] std::string oneLine() const;

  friend bool operator==(const Error& a, const Error& b) {
    return a.domain == b.domain && a.code == b.code;
  }
};

inline constexpr std::string_view kPosixErrorDomain = "POSIX";
inline constexpr std::string_view kCancellationErrorDomain = "Cancellation";
inline constexpr std::string_view kGenericErrorDomain = "Zarnik";

}  // namespace zarnik
