#include "e2e/fault_injection/cleaning_invariant.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "support/test_dir.h"

namespace zarnik::testing {
namespace fs = std::filesystem;

using Contents = std::map<std::string, std::string>;

void TreePlan::build(const std::string& root) const {
  for (const auto& [relative, content] : files) {
    const fs::path path = fs::path(root) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
}

Contents TreePlan::filesOf(const std::string& relative) const {
  Contents contents;
  for (const auto& [path, content] : files) {
    if (path == relative) contents[""] = content;
    if (path.size() > relative.size() && path.compare(0, relative.size() + 1, relative + "/") == 0) {
      contents[path.substr(relative.size() + 1)] = content;
    }
  }
  return contents;
}

namespace {

// The regular files found at `path` (without following a link there), keyed as in filesOf;
// nothing when there is no file or folder.
std::optional<Contents> contentsAt(const std::string& path) {
  struct stat status {};
  if (path.empty() || ::lstat(path.c_str(), &status) != 0) return std::nullopt;
  Contents contents;
  if (S_ISREG(status.st_mode)) {
    contents[""] = contentsOf(path);
  } else if (S_ISDIR(status.st_mode)) {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(path, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
      if (it->is_regular_file(error) && !it->is_symlink(error)) {
        contents[fs::relative(it->path(), path).string()] = contentsOf(it->path().string());
      }
    }
  } else {
    return std::nullopt;
  }
  return contents;
}

bool holds(const std::string& path, const Contents& expected) {
  const auto found = contentsAt(path);
  return found && *found == expected;
}

std::string percentDecoded(const std::string& text) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// The items in the trash by the original path their info file names; and the items that have no
// info file (a file manager cannot put those back).
struct TrashContents {
  std::multimap<std::string, std::string> byOriginalPath;
  std::vector<std::string> withoutInfo;
};

TrashContents readTrash(const std::string& trash) {
  TrashContents found;
  std::error_code error;
  std::set<std::string> described;
  for (const auto& entry : fs::directory_iterator(trash + "/info", error)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".trashinfo") continue;
    const std::string item = name.substr(0, name.size() - std::string(".trashinfo").size());
    std::istringstream lines(contentsOf(entry.path().string()));
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("Path=", 0) == 0) found.byOriginalPath.emplace(percentDecoded(line.substr(5)), trash + "/files/" + item);
    }
    described.insert(item);
  }
  for (const auto& entry : fs::directory_iterator(trash + "/files", error)) {
    if (described.count(entry.path().filename().string()) == 0) found.withoutInfo.push_back(entry.path().string());
  }
  return found;
}

std::vector<std::string> regularFilesUnder(const std::string& root) {
  std::vector<std::string> files;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (it->is_regular_file(error) && !it->is_symlink(error)) files.push_back(it->path().string());
  }
  return files;
}

void collectContents(const std::string& root, std::set<std::string>& into) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (it->is_regular_file(error) && !it->is_symlink(error)) into.insert(contentsOf(it->path().string()));
  }
}

std::string describe(const std::optional<Contents>& contents) {
  if (!contents) return "nothing";
  if (contents->size() == 1 && contents->begin()->first.empty()) return "a file of " + std::to_string(contents->begin()->second.size()) + " bytes";
  return "a folder of " + std::to_string(contents->size()) + " files";
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return ::lstat(a.c_str(), &first) == 0 && ::lstat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

}  // namespace

Record recordOf(const std::string& resultsText, const std::string& absolutePath) {
  std::istringstream lines(resultsText);
  for (std::string line; std::getline(lines, line);) {
    const std::string bare = " " + absolutePath;
    const size_t at = line.find(bare + "  (");
    const bool endsWithPath = line.size() >= bare.size() && line.compare(line.size() - bare.size(), bare.size(), bare) == 0;
    if (at == std::string::npos && !endsWithPath) continue;
    Record record;
    record.text = line;
    if (endsWithPath) return record;
    const std::string note = line.substr(at + bare.size() + 3);
    using Kind = Record::Kind;
    const auto has = [&note](const char* words) { return note.find(words) != std::string::npos; };
    if (has("cut off")) {
      record.kind = Kind::pending;
    } else if (has("pretended")) {
      record.kind = Kind::pretended;
    } else if (note.rfind("cleaning ", 0) == 0 && has(" failed")) {
      record.kind = Kind::failed;
    } else if (has("in the trash") || has("to the trash") || has("trashed")) {
      record.kind = Kind::trashed;
    } else if (const size_t moved = note.find("moved to "); moved != std::string::npos) {
      record.kind = Kind::moved;
      record.destination = note.substr(moved + 9);
      record.destination = record.destination.substr(0, record.destination.find_first_of(",)"));
    } else if (has("hard link")) {
      record.kind = Kind::hardLinked;
    } else if (has("removed") || has("deleted")) {
      record.kind = Kind::deleted;
    }
    return record;
  }
  return {};
}

std::vector<std::string> invariantViolations(const TreePlan& plan, const Places& places, const std::string& resultsText,
                                             bool everythingBack) {
  std::vector<std::string> violations;
  const TrashContents trash = readTrash(places.trash);
  for (const auto& orphan : trash.withoutInfo) violations.push_back(orphan + " is in the trash without its info file");

  std::set<std::string> checkedKept;
  for (const auto& item : plan.items) {
    const std::string kept = places.tree + "/" + item.kept;
    const bool keptIntact = holds(kept, plan.filesOf(item.kept));
    if (!keptIntact && checkedKept.insert(kept).second) {
      violations.push_back("kept original " + kept + " is gone or changed: " + describe(contentsAt(kept)) + " there");
    }
    const std::string path = places.tree + "/" + item.path;
    const Contents expected = plan.filesOf(item.path);
    const Record record = recordOf(resultsText, path);
    const bool inPlace = holds(path, expected);
    bool inTrash = false;
    const auto [first, last] = trash.byOriginalPath.equal_range(path);
    for (auto it = first; it != last; ++it) inTrash = inTrash || holds(it->second, expected);
    const bool atDestination = record.kind == Record::Kind::moved && holds(record.destination, expected);
    using Kind = Record::Kind;
    const bool accounted = inPlace || (record.kind == Kind::trashed && inTrash) || atDestination ||
                           ((record.kind == Kind::deleted || record.kind == Kind::hardLinked) && keptIntact);
    if (!accounted) {
      violations.push_back(path + " is lost: " + describe(contentsAt(path)) + " at its path, " +
                           (inTrash ? "in the trash, " : "") + "record: " +
                           (record.text.empty() ? std::string("none") : record.text));
    } else if (record.kind == Kind::trashed && !inTrash) {
      violations.push_back(path + ": its record says it is in the trash, where it is not: " + record.text);
    } else if (record.kind == Kind::moved && !atDestination) {
      violations.push_back(path + ": its record says it was moved, but the destination does not hold it: " + record.text);
    }
    if (everythingBack && !(inPlace && !sameFile(path, kept))) {
      violations.push_back(path + " was not brought back as a file of its own: " + describe(contentsAt(path)) +
                           " there, record: " + (record.text.empty() ? std::string("none") : record.text));
    }
  }

  // What a cut-off run left half-made (a temporary link, a partial copy) is gone after the next.
  std::set<std::string> expected;
  for (const auto& [relative, content] : plan.files) expected.insert(places.tree + "/" + relative);
  for (const auto& file : regularFilesUnder(places.tree)) {
    if (expected.count(file) == 0) violations.push_back(file + " was left behind in the tree");
  }
  std::vector<std::string> destinations;
  for (const auto& item : plan.items) {
    const Record record = recordOf(resultsText, places.tree + "/" + item.path);
    if (record.kind == Record::Kind::moved) destinations.push_back(record.destination);
  }
  for (const auto& file : places.moveTo.empty() ? std::vector<std::string>{} : regularFilesUnder(places.moveTo)) {
    const bool recorded = std::any_of(destinations.begin(), destinations.end(), [&file](const std::string& destination) {
      return file == destination || file.rfind(destination + "/", 0) == 0;
    });
    if (!recorded) violations.push_back(file + " is in the move-to folder without a record");
  }

  std::set<std::string> present;
  collectContents(places.tree, present);
  collectContents(places.trash + "/files", present);
  if (!places.moveTo.empty()) collectContents(places.moveTo, present);
  for (const auto& [relative, content] : plan.files) {
    if (present.count(content) == 0) violations.push_back("the content of " + relative + " is nowhere any more");
  }
  return violations;
}

}  // namespace zarnik::testing
