#include "matching/parked_files.h"

#include <limits>

namespace zarnik {

namespace {

bool isInFolder(const ParkedFileNode& file, const std::shared_ptr<MatchingDirectoryNode>& folder, std::string_view name) {
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
  if (folder >= kKeptAsIs) return keepAsIs(file);
  const auto item = packName(file.name());
  if (!item) return keepAsIs(file);
  return {folder, *item};
}

ParkedFileNode ParkedFiles::take(Ticket ticket) {
  if (ticket.place == kKeptAsIs) return std::move(keptAsIs_.at(ticket.item));
  return ParkedFileNode::inFolder(folders_.at(ticket.place), nameAt(ticket.item));
}

bool ParkedFiles::holds(Ticket ticket, const ParkedFileNode& file) const {
  if (ticket.place == kKeptAsIs) return isSameFile(keptAsIs_.at(ticket.item), file);
  return isInFolder(file, folders_.at(ticket.place), nameAt(ticket.item));
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
  if (!folders_.empty() && folders_.back() == folder) return static_cast<std::uint32_t>(folders_.size() - 1);
  auto [known, isNew] = folderNumbers_.try_emplace(folder.get(), static_cast<std::uint32_t>(folders_.size()));
  if (isNew) folders_.push_back(folder);
  return known->second;
}

std::optional<std::uint32_t> ParkedFiles::packName(std::string_view name) {
  if (usedInLastBlock_ + name.size() + 1 > kBlockSize) {
    if (nameBlocks_.size() > (std::numeric_limits<std::uint32_t>::max() >> kBlockBits)) return std::nullopt;
    nameBlocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
    usedInLastBlock_ = 0;
  }
  char* at = nameBlocks_.back().get() + usedInLastBlock_;
  name.copy(at, name.size());
  at[name.size()] = '\0';
  const auto item = static_cast<std::uint32_t>(((nameBlocks_.size() - 1) << kBlockBits) | usedInLastBlock_);
  usedInLastBlock_ += name.size() + 1;
  return item;
}

std::string_view ParkedFiles::nameAt(std::uint32_t item) const {
  return nameBlocks_.at(item >> kBlockBits).get() + (item & (kBlockSize - 1));
}

ParkedFiles::Ticket ParkedFiles::keepAsIs(const ParkedFileNode& file) {
  keptAsIs_.push_back(file);
  return {kKeptAsIs, static_cast<std::uint32_t>(keptAsIs_.size() - 1)};
}

}  // namespace zarnik
