// FileSystemChange: what happened to an item, as a set of named bits. The bit values are fixed
// (events keep them wherever they are stored or logged); the file watcher sets them from what
// inotify reports, and some members (cloned, hard links, owner) it never sets.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zarnik {

struct FileSystemChange {
  std::int64_t rawValue = 0;

  constexpr FileSystemChange() = default;
  constexpr explicit FileSystemChange(std::int64_t raw) : rawValue(raw) {}
  // Widens an event's 32-bit flag word unchanged.
  static constexpr FileSystemChange fromEventFlags(std::uint32_t flags) {
    return FileSystemChange(static_cast<std::int64_t>(flags));
  }

  static const FileSystemChange scanSubDirs;  // detail was lost; sub-folders must be scanned
  static const FileSystemChange rootChanged;  // a watched root was moved or deleted
  static const FileSystemChange mounted;
  static const FileSystemChange unmounted;
  static const FileSystemChange created;
  static const FileSystemChange removed;
  static const FileSystemChange inodeMetaModified;
  static const FileSystemChange renamed;  // reported on the old and on the new name
  static const FileSystemChange modified;
  static const FileSystemChange finderInfoModified;  // file-manager information
  static const FileSystemChange changeOwner;
  static const FileSystemChange xattrsModified;
  static const FileSystemChange isFile;
  static const FileSystemChange isDirectory;
  static const FileSystemChange isSymlink;
  static const FileSystemChange isHardlink;
  static const FileSystemChange isLastHardlink;
  static const FileSystemChange cloned;

  [[nodiscard]] constexpr bool isEmpty() const { return rawValue == 0; }
  [[nodiscard]] constexpr bool contains(FileSystemChange other) const {
    return (rawValue & other.rawValue) == other.rawValue;
  }
  [[nodiscard]] constexpr FileSystemChange unionWith(FileSystemChange other) const {
    return FileSystemChange(rawValue | other.rawValue);
  }
  [[nodiscard]] constexpr FileSystemChange intersection(FileSystemChange other) const {
    return FileSystemChange(rawValue & other.rawValue);
  }
  [[nodiscard]] constexpr FileSystemChange symmetricDifference(FileSystemChange other) const {
    return FileSystemChange(rawValue ^ other.rawValue);
  }
  [[nodiscard]] constexpr FileSystemChange subtracting(FileSystemChange other) const {
    return FileSystemChange(rawValue & ~other.rawValue);
  }
  [[nodiscard]] constexpr bool isSubset(FileSystemChange of) const { return of.contains(*this); }
  [[nodiscard]] constexpr bool isSuperset(FileSystemChange of) const { return contains(of); }
  [[nodiscard]] constexpr bool isDisjoint(FileSystemChange with) const {
    return (rawValue & with.rawValue) == 0;
  }
  // True when `member` was not there before.
  constexpr bool insert(FileSystemChange member) {
    const bool wasMissing = !contains(member);
    rawValue |= member.rawValue;
    return wasMissing;
  }
  // The bits of `member` that were set, now cleared.
  constexpr FileSystemChange remove(FileSystemChange member) {
    const FileSystemChange removed(rawValue & member.rawValue);
    rawValue &= ~member.rawValue;
    return removed;
  }
  // The bits of `member` that were already set.
  constexpr FileSystemChange update(FileSystemChange member) {
    const FileSystemChange before(rawValue & member.rawValue);
    rawValue |= member.rawValue;
    return before;
  }

  constexpr FileSystemChange operator|(FileSystemChange other) const { return unionWith(other); }
  constexpr FileSystemChange operator&(FileSystemChange other) const { return intersection(other); }
  friend constexpr bool operator==(FileSystemChange, FileSystemChange) = default;

  // The names of the members set, joined by ", ", in a fixed order (kinds first, then changes).
  [[nodiscard]] std::string description() const;
};

inline constexpr FileSystemChange FileSystemChange::scanSubDirs{0x1};
inline constexpr FileSystemChange FileSystemChange::rootChanged{0x20};
inline constexpr FileSystemChange FileSystemChange::mounted{0x40};
inline constexpr FileSystemChange FileSystemChange::unmounted{0x80};
inline constexpr FileSystemChange FileSystemChange::created{0x100};
inline constexpr FileSystemChange FileSystemChange::removed{0x200};
inline constexpr FileSystemChange FileSystemChange::inodeMetaModified{0x400};
inline constexpr FileSystemChange FileSystemChange::renamed{0x800};
inline constexpr FileSystemChange FileSystemChange::modified{0x1000};
inline constexpr FileSystemChange FileSystemChange::finderInfoModified{0x2000};
inline constexpr FileSystemChange FileSystemChange::changeOwner{0x4000};
inline constexpr FileSystemChange FileSystemChange::xattrsModified{0x8000};
inline constexpr FileSystemChange FileSystemChange::isFile{0x10000};
inline constexpr FileSystemChange FileSystemChange::isDirectory{0x20000};
inline constexpr FileSystemChange FileSystemChange::isSymlink{0x40000};
inline constexpr FileSystemChange FileSystemChange::isHardlink{0x100000};
inline constexpr FileSystemChange FileSystemChange::isLastHardlink{0x200000};
inline constexpr FileSystemChange FileSystemChange::cloned{0x400000};

}  // namespace zarnik

template <>
struct std::hash<zarnik::FileSystemChange> {
  size_t operator()(zarnik::FileSystemChange change) const noexcept {
    return std::hash<std::int64_t>()(change.rawValue);
  }
};
