// Exact accumulators: items whose information has exactly the same criterion form a group.
// The size stages never hand out groups: they ask for the content hash of every file that
// shares its size with another, so that no file is hashed unless a second file of its size
// exists (the first one is hashed only when the second arrives).
#pragma once

#include <memory>
#include <unordered_map>

#include "matching/equivalence_candidates_accumulator.h"

namespace zarnik {

template <typename Info>
class ExactEquivalenceCandidatesAccumulator : public EquivalenceCandidatesAccumulator {
 public:
  using Criterion = typename Info::Criterion;

  ExactEquivalenceCandidatesAccumulator(EquivalenceKind kind, EquivalenceCandidatesAccumulatorDelegate* delegate)
      : kind_(kind), delegate_(delegate) {}

  [[nodiscard]] EquivalenceKind kind() const override { return kind_; }
  [[nodiscard]] bool isHeavy() const override { return false; }

  void add(const MatchingNodePtr& node, const EquivalenceInfoPtr& info) override { add(node, info, true); }

  void update(const MatchingNodePtr& node, const EquivalenceInfoPtr& info, bool addIfAbsent) override {
    if (dynamic_cast<const Info*>(info.get()) == nullptr) return;
    const std::string path = node->path();
    auto existing = byPath_.find(path);
    if (existing != byPath_.end()) {
      if (existing->second->node()->attributes().dateOfModification == node->attributes().dateOfModification) return;
      if (auto* group = existing->second->equivalenceCandidate()) group->removeMembers(path);
      add(node, info, false);
    } else if (addIfAbsent) {
      add(node, info, true);
    }
  }

  void removeNodes(const std::set<std::string>& urls) override {
    for (const auto& url : urls) {
      auto it = byPath_.find(url);
      if (it == byPath_.end()) continue;
      EquivalenceCandidate* group = it->second->equivalenceCandidate();
      byPath_.erase(it);
      if (group != nullptr) group->removeMembers(url);
    }
  }

  void finish(EquivalenceCandidatesMatchingContext& context) override {
    if (delegate_ == nullptr || delegate_->accumulationMode() == EquivalenceCandidatesAccumulationMode::finite) {
      didFinishAccumulation_ = true;
    }
    const auto groups = listGroups();
    if (!shouldPublicateCandidates(kind_)) return;
    for (const auto& group : groups) {
      if (group->hasDuplicates()) context.equivalencesToModel.push_back(group);
      for (const auto& member : group->duplicates()) member->node()->claimers.insert(group->claimer());
    }
  }

  std::vector<EquivalenceCandidatePtr> merge(EquivalenceCandidatesAccumulator& otherAccumulator,
                                             const std::set<std::string>* skippedURLs) override {
    auto* other = dynamic_cast<ExactEquivalenceCandidatesAccumulator*>(&otherAccumulator);
    std::vector<EquivalenceCandidatePtr> touched;
    if (other == nullptr) return touched;
    for (const auto& [criterion, otherGroup] : other->groups_) {
      std::vector<DuplicateCandidatePtr> taken;
      for (const auto& member : otherGroup->duplicates()) {
        const std::string path = member->node()->path();
        if (skippedURLs != nullptr && skippedURLs->count(path) != 0) continue;
        byPath_[path] = member;
        taken.push_back(member);
      }
      auto& group = groups_[criterion];
      if (!group) {
        group = std::make_shared<EquivalenceCandidate>(delegate_, otherGroup->equivalenceInfo(), claimerOf(kind_));
        group->add(taken, false);
      } else {
        std::vector<DuplicateCandidatePtr> fresh;
        for (const auto& member : taken) {
          const std::string path = member->node()->path();
          const bool present = std::any_of(group->duplicates().begin(), group->duplicates().end(),
                                           [&](const auto& m) { return m->node()->path() == path; });
          if (!present) fresh.push_back(member);
        }
        group->add(fresh, false);
      }
      touched.push_back(group);
    }
    return touched;
  }

  void collectNodesByPath(std::map<std::string, MatchingNodePtr>& nodes) const override {
    for (const auto& [criterion, group] : groups_) {
      for (const auto& member : group->duplicates()) nodes.emplace(member->node()->path(), member->node());
    }
  }

  [[nodiscard]] bool didFinishAccumulation() const { return didFinishAccumulation_; }
  [[nodiscard]] size_t groupCount() const { return groups_.size(); }

 protected:
  // Puts a new membership into its group; the size stages also ask for content work here.
  virtual void place(EquivalenceCandidate& group, const DuplicateCandidatePtr& membership, bool notify) {
    group.add(membership, notify);
  }
  virtual std::vector<EquivalenceCandidatePtr> listGroups() {
    std::vector<EquivalenceCandidatePtr> groups;
    groups.reserve(groups_.size());
    for (const auto& [criterion, group] : groups_) groups.push_back(group);
    return groups;
  }
  [[nodiscard]] EquivalenceCandidatesAccumulatorDelegate* delegate() const { return delegate_; }

 private:
  void add(const MatchingNodePtr& node, const EquivalenceInfoPtr& info, bool notify) {
    const auto& typed = static_cast<const Info&>(*info);
    auto& group = groups_[typed.criterion()];
    if (!group) group = std::make_shared<EquivalenceCandidate>(delegate_, info, claimerOf(kind_));
    // Exact information is nothing but its criterion, so members share their group's object
    // instead of keeping one each.
    auto membership = std::make_shared<BaseDuplicateCandidate>(node, group->equivalenceInfo());
    // Path lookups serve updates and removals, which only the continuous mode makes; a finite
    // scan skips the map (about 150 bytes a file at 200,000 files).
    if (delegate_ != nullptr && delegate_->accumulationMode() == EquivalenceCandidatesAccumulationMode::continuous) {
      byPath_[node->path()] = membership;
    }
    place(*group, membership, notify);
  }

  EquivalenceKind kind_;
  EquivalenceCandidatesAccumulatorDelegate* delegate_;
  std::unordered_map<Criterion, EquivalenceCandidatePtr> groups_;
  std::unordered_map<std::string, DuplicateCandidatePtr> byPath_;
  bool didFinishAccumulation_ = false;
};

// The first stage of exact matching: equal sizes ask for content hashes.
class SizeEquivalenceCandidatesAccumulator final : public ExactEquivalenceCandidatesAccumulator<SizeEquivalenceInfo> {
 public:
  explicit SizeEquivalenceCandidatesAccumulator(EquivalenceCandidatesAccumulatorDelegate* delegate)
      : ExactEquivalenceCandidatesAccumulator(EquivalenceKind::exactSize, delegate) {}

 protected:
  void place(EquivalenceCandidate& group, const DuplicateCandidatePtr& membership, bool notify) override;
};

// The same for audio payload sizes: equal sizes ask for audio-content hashes.
class AudioContentSizeEquivalenceCandidatesAccumulator final
    : public ExactEquivalenceCandidatesAccumulator<AudioSizeEquivalenceInfo> {
 public:
  explicit AudioContentSizeEquivalenceCandidatesAccumulator(EquivalenceCandidatesAccumulatorDelegate* delegate)
      : ExactEquivalenceCandidatesAccumulator(EquivalenceKind::exactAudioSize, delegate) {}

 protected:
  void place(EquivalenceCandidate& group, const DuplicateCandidatePtr& membership, bool notify) override;
};

}  // namespace zarnik
