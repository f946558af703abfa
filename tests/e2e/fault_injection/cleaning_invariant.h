// What a cleaning or a revert, cut off at any moment and followed by the next run, must leave:
// every copy at its path with its content, or in the trash with its info file and a record, or at
// its recorded destination, or recorded as deleted while its kept original is intact; no kept
// original ever gone, every content of the tree still somewhere, and nothing half-made left
// behind (a temporary link in the tree, an unrecorded file in the move-to folder).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zarnik::testing {

// One copy a cleaning removes (a file or a folder) and the copy of its group that stays, both
// relative to the tree.
struct CleanedItem {
  std::string path;
  std::string kept;
};

// The files of a tree made for a test, and the copies that the program proposes for removal.
struct TreePlan {
  std::vector<std::pair<std::string, std::string>> files;  // relative path, content
  std::vector<CleanedItem> items;
  void build(const std::string& root) const;
  // The files of the item or file at `relative`, keyed by their path inside it ("" for a file).
  [[nodiscard]] std::map<std::string, std::string> filesOf(const std::string& relative) const;
};

// Where the files of a tree may be found after a cleaning.
struct Places {
  std::string tree;
  std::string trash;   // the trash folder, holding "files" and "info"
  std::string moveTo;  // the folder of --move-to; empty when not used
};

// What the program's records say became of one copy, read from its line in `zarnik results`
// ("#6 cleaned /path  (cleaning 1: in the trash)"); the one place that knows those words.
struct Record {
  enum class Kind { none, pending, failed, trashed, moved, deleted, hardLinked, pretended };
  Kind kind = Kind::none;
  std::string destination;  // for a move
  std::string text;         // the line, for messages
};
Record recordOf(const std::string& resultsText, const std::string& absolutePath);

// The broken promises, one line each; none when the invariant holds. With `everythingBack` (after
// a revert has run to its end), every copy must also be back at its path as a file of its own.
std::vector<std::string> invariantViolations(const TreePlan& plan, const Places& places, const std::string& resultsText,
                                             bool everythingBack);

}  // namespace zarnik::testing
