#include "matching/parked_files.h"

#include <cstring>
#include <limits>

namespace zarnik {

namespace {

bool isInFolder(const ParkedFileNode& file, const std::shared_ptr<MatchingDirectoryNode>& folder,
                std::string_view name) {
  return file.wholeNode() == nullptr && file.folder() == folder && file.name() == name;
}

bool isSameFile(const ParkedFileNode& one, const ParkedFileNode& other) {
  if (one.wholeNode() == nullptr) return isInFolder(other, one.folder(), one.name());
  return other.wholeNode() != nullptr && *one.wholeNode() == *other.wholeNode();
}

}  // namespace

ParkedFiles::Ticket ParkedFiles::add(const ParkedFileNode& file) {
  if (file.wholeNode() != nullptr || file.name().size() > kLongestPackedName) return keepAsIs(file);
  const std::uint32_t folder = folderNumber(file.folder());
  if (folder >= kFolderLimit) return keepAsIs(file);
  const auto prefix = file.contentPrefixHash();
  const auto item = pack(file.name(), prefix);
  if (!item) return keepAsIs(file);
  return {prefix ? folder | kWithContentPrefix : folder, *item};
}

ParkedFileNode ParkedFiles::take(Ticket ticket) {
  if (ticket.place == kKeptAsIs) return std::move(keptAsIs_.at(ticket.item));
  return ParkedFileNode::inFolder(folderOf(ticket), nameOf(ticket), contentPrefixHashOf(ticket));
}

bool ParkedFiles::holds(Ticket ticket, const ParkedFileNode& file) const {
  if (ticket.place == kKeptAsIs) return isSameFile(keptAsIs_.at(ticket.item), file);
  return isInFolder(file, folderOf(ticket), nameOf(ticket));
}

void ParkedFiles::clear() {
  decltype(folders_)().swap(folders_);
  decltype(folderNumbers_)().swap(folderNumbers_);
  decltype(nameBlocks_)().swap(nameBlocks_);
  usedInLastBlock_ = kBlockSize;
  decltype(keptAsIs_)().swap(keptAsIs_);
}

std::uint32_t ParkedFiles::folderNumber(const std::shared_ptr<MatchingDirectoryNode>& folder) {
  // Files mostly arrive folder by folder.
  if (!folders_.empty() && folders_.back() == folder)
    return static_cast<std::uint32_t>(folders_.size() - 1);
  auto [known, isNew] =
      folderNumbers_.try_emplace(folder.get(), static_cast<std::uint32_t>(folders_.size()));
  if (isNew) folders_.push_back(folder);
  return known->second;
}

std::optional<std::uint32_t> ParkedFiles::pack(std::string_view name,
                                               std::optional<std::uint64_t> contentPrefixHash) {
  const size_t prefixSize = contentPrefixHash ? sizeof(std::uint64_t) : 0;
  if (usedInLastBlock_ + prefixSize + name.size() + 1 > kBlockSize) {
    if (nameBlocks_.size() > (std::numeric_limits<std::uint32_t>::max() >> kBlockBits))
      return std::nullopt;
    nameBlocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
    usedInLastBlock_ = 0;
  }
  char* at = nameBlocks_.back().get() + usedInLastBlock_;
  if (contentPrefixHash) std::memcpy(at, &*contentPrefixHash, prefixSize);
  name.copy(at + prefixSize, name.size());
  at[prefixSize + name.size()] = '\0';
  const auto item =
      static_cast<std::uint32_t>(((nameBlocks_.size() - 1) << kBlockBits) | usedInLastBlock_);
  usedInLastBlock_ += prefixSize + name.size() + 1;
  return item;
}

const char* ParkedFiles::itemAt(std::uint32_t item) const {
  return nameBlocks_.at(item >> kBlockBits).get() + (item & (kBlockSize - 1));
}

std::string_view ParkedFiles::nameOf(Ticket ticket) const {
  const char* item = itemAt(ticket.item);
  return (ticket.place & kWithContentPrefix) != 0 ? item + sizeof(std::uint64_t) : item;
}

std::optional<std::uint64_t> ParkedFiles::contentPrefixHashOf(Ticket ticket) const {
  if ((ticket.place & kWithContentPrefix) == 0) return std::nullopt;
  std::uint64_t hash = 0;
  std::memcpy(&hash, itemAt(ticket.item), sizeof hash);
  return hash;
}

const std::shared_ptr<MatchingDirectoryNode>& ParkedFiles::folderOf(Ticket ticket) const {
  return folders_.at(ticket.place & ~kWithContentPrefix);
}

ParkedFiles::Ticket ParkedFiles::keepAsIs(const ParkedFileNode& file) {
  keptAsIs_.push_back(file);
  return {kKeptAsIs, static_cast<std::uint32_t>(keptAsIs_.size() - 1)};
}

}  // namespace zarnik
