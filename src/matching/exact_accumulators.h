// Exact accumulators: items whose information has exactly the same criterion form a group.
// The size stages never hand out groups: they ask for the content hash of every file that
// shares its size with another, so that no file is hashed unless a second file of its size
// exists (the first one is hashed only when the second arrives). A scan that will neither
// update nor merge its groups lets the size stages forget the members of a size once asked for:
// at 200,000 small files their groups held 16 MB that nothing read again. There the file that
// waits alone for a second of its size, as most files do to the end, waits as its folder and
// name (ParkedFiles), not as its node: at 1,000,000 files of unique sizes the nodes were most of
// the scan's memory.
#pragma once

#include "matching/match_candidates_accumulator.h"
#include "matching/parked_files.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <utility>

namespace zarnik {

template <typename Info>
class ExactEquivalenceCandidatesAccumulator : public EquivalenceCandidatesAccumulator {
 public:
  using Criterion = typename Info::Criterion;

  ExactEquivalenceCandidatesAccumulator(EquivalenceKind kind,
                                        EquivalenceCandidatesAccumulatorDelegate* delegate)
      : kind_(kind), delegate_(delegate) {}

  [[nodiscard]] EquivalenceKind kind() const override { return kind_; }
  [[nodiscard]] bool isHeavy() const override { return false; }

  void add(const MatchingNodePtr& node, const EquivalenceInfoPtr& info) override {
    add(node, info, true);
  }

  void update(const MatchingNodePtr& node, const EquivalenceInfoPtr& info,
              bool addIfAbsent) override {
    if (dynamic_cast<const Info*>(info.get()) == nullptr) return;
    const std::string path = node->path();
    auto existing = byPath_.find(path);
    if (existing != byPath_.end()) {
      // Clocks are coarse: a file rewritten at once may keep its time, but rarely its size too.
      const auto& before = existing->second.node->attributes();
      const auto& now = node->attributes();
      if (before.dateOfModification == now.dateOfModification && before.exactSize == now.exactSize)
        return;
      removeFromSlot(existing->second.criterion, path);
      byPath_.erase(existing);
      // Told like any arrival: the changed file may have just become a copy of another.
      add(node, info, true);
    } else if (addIfAbsent) {
      add(node, info, true);
    }
  }

  void removeNodes(const std::set<std::string>& urls) override {
    for (const auto& url : urls) {
      auto it = byPath_.find(url);
      if (it == byPath_.end()) continue;
      removeFromSlot(it->second.criterion, url);
      byPath_.erase(it);
    }
  }

  void finish(EquivalenceCandidatesMatchingContext& context) override {
    if (!shouldPublicateCandidates(kind_)) return;
    const int claimer = claimerOf(kind_);
    for (const auto& [criterion, slot] : slots_) {
      if (slot.lone) {
        slot.lone->claimers.insert(claimer);
        continue;
      }
      if (slot.group->hasDuplicates()) context.equivalencesToModel.push_back(slot.group);
      for (const auto& member : slot.group->duplicates()) member->node()->claimers.insert(claimer);
    }
  }

  std::vector<EquivalenceCandidatePtr> merge(EquivalenceCandidatesAccumulator& otherAccumulator,
                                             const std::set<std::string>* skippedURLs) override {
    auto* other = dynamic_cast<ExactEquivalenceCandidatesAccumulator*>(&otherAccumulator);
    std::vector<EquivalenceCandidatePtr> touched;
    if (other == nullptr) return touched;
    for (const auto& [criterion, otherSlot] : other->slots_) {
      Slot& slot = slots_[criterion];
      const EquivalenceInfoPtr info =
          otherSlot.group ? otherSlot.group->equivalenceInfo() : std::make_shared<Info>(criterion);
      for (const auto& node : otherSlot.members()) {
        const std::string path = node->path();
        if (skippedURLs != nullptr && skippedURLs->count(path) != 0) continue;
        if (slot.contains(path)) continue;
        if (keepsPaths()) byPath_[path] = PathEntry{node, criterion};
        // Adopted members are placed without content work: the other engine did it already.
        slot.insert(node, info, *this,
                    [](EquivalenceCandidate& group, const DuplicateCandidatePtr& member) {
                      group.add(member, false);
                    });
      }
      if (slot.group) {
        touched.push_back(slot.group);
      } else if (!slot.lone) {
        slots_.erase(criterion);
      }
    }
    return touched;
  }

  void collectNodesByPath(std::map<std::string, MatchingNodePtr>& nodes) const override {
    for (const auto& [criterion, slot] : slots_) {
      for (const auto& node : slot.members()) nodes.emplace(node->path(), node);
    }
  }

 protected:
  // The content work a size stage asks for when a node shares its criterion; none elsewhere.
  [[nodiscard]] virtual bool asksForContentWork() const { return false; }
  virtual void requestContentWork(const MatchingNodePtr& /*node*/) {}
  // Whether a lone item may wait as its folder and name while members are forgotten, and the
  // content work for one that waited so.
  [[nodiscard]] virtual bool parksLoneItems() const { return false; }
  virtual void requestContentWork(ParkedFileNode file, const Criterion& /*criterion*/) {
    if (const auto* node = file.wholeNode()) requestContentWork(*node);
  }
  [[nodiscard]] EquivalenceCandidatesAccumulatorDelegate* delegate() const { return delegate_; }

 private:
  // Most criteria never see a second item (most sizes are unique; nearly every digest is), so
  // a lone item is kept as it is, and its group and memberships are made only when a second
  // one arrives: a group, a membership and the information of each lone file cost about 230
  // bytes, which at 200,000 files was more than the nodes themselves.
  struct Slot {
    MatchingNodePtr lone;           // the only item so far
    EquivalenceCandidatePtr group;  // from the second item on

    [[nodiscard]] std::vector<MatchingNodePtr> members() const {
      if (lone) return {lone};
      std::vector<MatchingNodePtr> nodes;
      for (const auto& member : group->duplicates()) nodes.push_back(member->node());
      return nodes;
    }
    [[nodiscard]] bool contains(const std::string& path) const {
      if (lone) return lone->path() == path;
      if (!group) return false;
      return std::any_of(group->duplicates().begin(), group->duplicates().end(),
                         [&](const auto& member) { return member->node()->path() == path; });
    }
    // The first item waits alone; the second makes the group of both, placed in arrival order.
    template <typename Place>
    void insert(const MatchingNodePtr& node, const EquivalenceInfoPtr& info,
                const ExactEquivalenceCandidatesAccumulator& owner, Place&& place) {
      if (!lone && !group) {
        lone = node;
        return;
      }
      if (!group) {
        group =
            std::make_shared<EquivalenceCandidate>(owner.delegate_, info, claimerOf(owner.kind_));
        place(*group,
              std::make_shared<BaseDuplicateCandidate>(std::move(lone), group->equivalenceInfo()));
        lone.reset();
      }
      // Exact information is nothing but its criterion, so members share their group's object
      // instead of keeping one each.
      place(*group, std::make_shared<BaseDuplicateCandidate>(node, group->equivalenceInfo()));
    }
  };
  struct PathEntry {
    MatchingNodePtr node;
    Criterion criterion;
  };

  void add(const MatchingNodePtr& node, const EquivalenceInfoPtr& info, bool notify) {
    const Criterion criterion = static_cast<const Info&>(*info).criterion();
    if (forgetsMembers()) {
      addForgettingMembers(node, criterion);
      return;
    }
    if (keepsPaths() && !holdOnce(node, criterion)) return;
    slots_[criterion].insert(
        node, info, *this,
        [this, notify](EquivalenceCandidate& group, const DuplicateCandidatePtr& member) {
          place(group, member, notify);
        });
  }

  // Notes where a node is held. A node held already is not placed twice: a size group that
  // lost a member and gains another asks again for the content work of the member it kept. A
  // new node under a held path replaces the one held. False when the node is held as it is.
  bool holdOnce(const MatchingNodePtr& node, const Criterion& criterion) {
    auto [entry, isNew] = byPath_.try_emplace(node->path(), PathEntry{node, criterion});
    if (isNew) return true;
    if (entry->second.node == node && entry->second.criterion == criterion) return false;
    removeFromSlot(entry->second.criterion, entry->first);
    entry->second = PathEntry{node, criterion};
    return true;
  }

  // Puts a new membership into its group and asks for the content work it makes due: both
  // members' when the group has just reached two, else the new one's.
  void place(EquivalenceCandidate& group, const DuplicateCandidatePtr& membership, bool notify) {
    group.add(membership, notify);
    if (!asksForContentWork() || delegate_ == nullptr || group.numberOfDuplicates() < 2) return;
    if (group.numberOfDuplicates() == 2) {
      for (const auto& member : group.duplicates()) requestContentWork(member->node());
    } else {
      requestContentWork(membership->node());
    }
  }

  [[nodiscard]] bool forgetsMembers() const {
    return asksForContentWork() && delegate_ != nullptr && !delegate_->keepsSizeStageMembers();
  }
  // The first node of a criterion waits; the second asks for both, after which the criterion
  // only remembers that it is shared and each later node asks for itself.
  void addForgettingMembers(const MatchingNodePtr& node, const Criterion& criterion) {
    auto [slot, isFirst] = sharedOrLone_.try_emplace(criterion, kShared);
    if (isFirst) {
      slot->second =
          lone_.add(parksLoneItems() ? delegate_->parked(node) : ParkedFileNode(node, false));
      return;
    }
    if (slot->second.place != kShared.place)
      requestContentWork(lone_.take(std::exchange(slot->second, kShared)), criterion);
    requestContentWork(node);
  }

  // Path lookups serve updates and removals, which only the continuous mode makes; a finite
  // scan skips the map (about 150 bytes a file at 200,000 files).
  [[nodiscard]] bool keepsPaths() const {
    return delegate_ != nullptr &&
           delegate_->accumulationMode() == EquivalenceCandidatesAccumulationMode::continuous;
  }

  void removeFromSlot(const Criterion& criterion, const std::string& path) {
    auto it = slots_.find(criterion);
    if (it == slots_.end()) return;
    if (it->second.lone) {
      if (it->second.lone->path() == path) slots_.erase(it);
    } else {
      it->second.group->removeMembers(path);
    }
  }

  EquivalenceKind kind_;
  EquivalenceCandidatesAccumulatorDelegate* delegate_;
  std::unordered_map<Criterion, Slot> slots_;
  // When members are forgotten: the criterion's lone item, or kShared.
  static constexpr ParkedFiles::Ticket kShared{ParkedFiles::kFirstReservedPlace, 0};
  std::unordered_map<Criterion, ParkedFiles::Ticket> sharedOrLone_;
  ParkedFiles lone_;
  std::unordered_map<std::string, PathEntry> byPath_;
};

// The first stage of exact matching: equal sizes ask for content hashes.
class SizeEquivalenceCandidatesAccumulator final
    : public ExactEquivalenceCandidatesAccumulator<SizeEquivalenceInfo> {
 public:
  explicit SizeEquivalenceCandidatesAccumulator(EquivalenceCandidatesAccumulatorDelegate* delegate)
      : ExactEquivalenceCandidatesAccumulator(EquivalenceKind::exactSize, delegate) {}

 protected:
  [[nodiscard]] bool asksForContentWork() const override { return true; }
  void requestContentWork(const MatchingNodePtr& node) override;
  [[nodiscard]] bool parksLoneItems() const override { return true; }
  void requestContentWork(ParkedFileNode file, const ByteCount& size) override;
};

// The same for audio payload sizes: equal sizes ask for audio-content hashes.
class AudioContentSizeEquivalenceCandidatesAccumulator final
    : public ExactEquivalenceCandidatesAccumulator<AudioSizeEquivalenceInfo> {
 public:
  explicit AudioContentSizeEquivalenceCandidatesAccumulator(
      EquivalenceCandidatesAccumulatorDelegate* delegate)
      : ExactEquivalenceCandidatesAccumulator(EquivalenceKind::exactAudioSize, delegate) {}

 protected:
  [[nodiscard]] bool asksForContentWork() const override { return true; }
  void requestContentWork(const MatchingNodePtr& node) override;
};

}  // namespace zarnik
