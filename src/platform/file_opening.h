// Opening what a scan reads without being led elsewhere: a link is never followed (it is listed
// as a link, and a file swapped for one is not read through it), and a FIFO put in a file's place
// cannot block the open.
#pragma once

#include "base/result.h"
#include "platform/file_descriptor.h"

#include <string>

namespace zarnik {

// A file opened to read its contents; invalid (with errno) when it cannot be opened. The file's
// access time is left as it was where the kernel allows (files one owns).
[[nodiscard]] UniqueFd openFileForContentReading(const std::string& path);

// A folder opened to list it; `path` may be longer than the kernel takes in one call, in which
// case it is opened from `root` one component of `relative` at a time.
[[nodiscard]] Result<UniqueFd> openFolderForListing(const std::string& path,
                                                    const std::string& root,
                                                    const std::string& relative);

}  // namespace zarnik
