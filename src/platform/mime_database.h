// MimeDatabase: file types by name, from the freedesktop shared-mime-info database (globs2,
// subclasses and aliases under the XDG data folders) with a built-in table behind it, so that
// every type the system relies on is known even where the database is not installed.
//
// Detection looks only at names, never at contents: enumeration must not open files.
// Thread safety: a loaded database is immutable; shared() is safe from any thread.
#pragma once

#include "platform/glob_filter.h"
#include "platform/type_identifier.h"

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace zarnik {

class MimeDatabase {
 public:
  // Loaded once from xdg::dataDirs() on first use.
  static const MimeDatabase& shared();
  // A database of the given folders (each holding mime/globs2), then the built-in table.
  static MimeDatabase load(const std::vector<std::string>& dataDirs);
  static MimeDatabase builtInOnly() { return load({}); }

  // The type of a regular file by its name; application/octet-stream when nothing matches.
  [[nodiscard]] TypeIdentifier typeForFileName(std::string_view name) const;
  // The type of a directory by its name: bundle kinds by extension, else inode/directory.
  [[nodiscard]] TypeIdentifier typeForDirectoryName(std::string_view name) const;
  // True when `type` is `parent` or a subclass of it (transitively); text/* conforms to
  // text/plain and every file type to application/octet-stream.
  [[nodiscard]] bool conforms(TypeIdentifier type, std::string_view parent) const;

 private:
  struct Match {
    int weight = 0;
    TypeIdentifier type;
  };
  void addGlob(int weight, std::string_view type, std::string_view glob, bool caseSensitive);
  void addSubclass(std::string_view child, std::string_view parent);
  void loadGlobs2(const std::string& path);
  void loadPairs(const std::string& path, bool aliases);
  void addBuiltInTable();
  [[nodiscard]] TypeIdentifier canonical(TypeIdentifier type) const;

  // Looked up by views of a name's parts, without copies: every listed file asks.
  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const noexcept {
      return std::hash<std::string_view>{}(text);
    }
  };
  using MatchesByText = std::unordered_map<std::string, Match, TextHash, std::equal_to<>>;
  MatchesByText suffixes_;      // lower-case ".ext" → type
  MatchesByText caseSuffixes_;  // case-sensitive suffixes
  MatchesByText literals_;      // whole names
  struct Pattern {
    std::string glob;
    Match match;
    GlobFilter filter;  // spares most names the full match: every listed file without a known
                        // extension is tried against each pattern
  };
  std::vector<Pattern> patterns_;  // other globs, for fnmatch
  std::unordered_map<std::string_view, std::vector<TypeIdentifier>> parents_;
  std::unordered_map<std::string_view, TypeIdentifier> aliases_;
};

}  // namespace zarnik
