// Duplicate folders, found bottom-up without comparing folders pairwise. Every matched child
// (a file by its content, a link by its target, an application by its identity) leaves a hash
// in its folder; at the end, folders whose every matchable child left a hash and whose sorted
// hashes are equal form a group, and each matched folder leaves one hash in its own parent, so
// that parents match in the next pass. Passes repeat until one matches nothing.
#pragma once

#include "matching/match_candidates_accumulator.h"

#include <memory>
#include <vector>

namespace zarnik {

class DirectoryEquivalenceCandidatesAccumulator final : public EquivalenceCandidatesAccumulator {
 public:
  explicit DirectoryEquivalenceCandidatesAccumulator(
      EquivalenceCandidatesAccumulatorDelegate* delegate)
      : delegate_(delegate) {}

  [[nodiscard]] EquivalenceKind kind() const override { return EquivalenceKind::directory; }
  [[nodiscard]] bool isHeavy() const override { return true; }
  void add(const MatchingNodePtr& node, const EquivalenceInfoPtr& info) override;
  void update(const MatchingNodePtr& node, const EquivalenceInfoPtr& info,
              bool addIfAbsent) override;
  void removeNodes(const std::set<std::string>& urls) override;
  void finish(EquivalenceCandidatesMatchingContext& context) override;
  // Folder groups are made at the end of a scan only: there is nothing to adopt.
  std::vector<EquivalenceCandidatePtr> merge(EquivalenceCandidatesAccumulator& other,
                                             const std::set<std::string>* skippedURLs) override;
  void collectNodesByPath(std::map<std::string, MatchingNodePtr>& nodes) const override;

 private:
  struct Candidate {
    std::shared_ptr<MatchingDirectoryNode> folder;
    bool didMatch = false;
  };
  // The groups of one pass; matched folders feed their parents.
  std::vector<EquivalenceCandidatePtr> matchPass();

  EquivalenceCandidatesAccumulatorDelegate* delegate_;
  std::vector<Candidate> candidates_;
};

}  // namespace zarnik
