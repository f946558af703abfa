// Whole-content comparison of two files, for the check before a copy is removed: the scan's
// digest reads sampled chunks only, so two files it grouped may still differ elsewhere.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/result.h"

namespace zarnik {

// true when both files hold the same bytes. Reads both from start to end in 1 MiB blocks and
// stops at the first difference; a read error is an error naming the file.
[[nodiscard]] Result<bool> haveEqualContents(const std::string& first, const std::string& second);
// The same, telling `afterBlock` the bytes of each block pair compared (of one file); when it
// answers false the comparison stops and fails with the cancellation error.
[[nodiscard]] Result<bool> haveEqualContents(const std::string& first, const std::string& second,
                                             const std::function<bool(std::int64_t bytes)>& afterBlock);

// true when two folders hold the same things, whatever their names: the same multiset of file
// contents (each file of one paired with a file of equal bytes in the other) and of link
// targets, at any depth. Folders themselves, empty or not, are not counted.
[[nodiscard]] Result<bool> haveEqualTreeContents(const std::string& first, const std::string& second);

}  // namespace zarnik
