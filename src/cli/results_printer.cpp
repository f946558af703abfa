#include "cli/results_printer.h"

#include "base/byte_path.h"
#include "cleaning/cleaning_note.h"
#include "cli/wording.h"
#include "detection/group_title.h"
#include "foundation/byte_count_formatter.h"
#include "foundation/executor.h"
#include "foundation/parallel_loop.h"
#include "foundation/thread_pool.h"
#include "matching/match_kind.h"
#include "selection/duplicate_differences.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace zarnik::cli {
namespace {

bool mayBeProposed(const std::optional<AutoselectionModeDecision>& decision) {
  return decision && (decision->mode == AutoselectionMode::regular ||
                      decision->mode == AutoselectionMode::alwaysSelect);
}

// What became of a cleaned copy, from its note.
std::string cleanedNote(const ZKDuplicate& duplicate) {
  const auto note = cleaningNoteOf(duplicate);
  if (!note) return "  (cleaned)";
  if (note->pending) return fmt::format("  (cleaning {} was cut off here)", note->cleanID);
  if (note->error)
    return fmt::format("  (cleaning {} failed: {})", note->cleanID, note->error->oneLine());
  std::string what = note->isFakeRemove ? "pretended, nothing touched" : "";
  if (note->reversionError)
    what = "could not be brought back: " + note->reversionError->oneLine() + "; ";
  for (const auto& action : note->actions) {
    if (note->isFakeRemove) {
      break;
    } else if (std::holds_alternative<CleaningMovedToTrashAction>(action)) {
      what += "in the trash";
    } else if (const auto* moved = std::get_if<CleaningMovedAction>(&action)) {
      what += "moved to " + displayPath(moved->destination.value_or("?"));
    } else if (std::holds_alternative<CleaningRemovedAction>(action)) {
      what += "removed";
    } else {
      what += ", replaced by a hard link";
    }
  }
  return fmt::format("  (cleaning {}: {})", note->cleanID, what);
}

// "5 KB each" when the copies are of one size (exact duplicates always are); "up to 5 KB" when
// they differ, as similar pictures do.
std::string memberSizeText(const ZKEquivalence& equivalence) {
  std::optional<ByteCount> common;
  bool equalSizes = true;
  for (const auto& duplicate : equivalence.duplicates) {
    const auto node = duplicate.node();
    if (!node) continue;
    if (common && *common != node->exactSize()) equalSizes = false;
    common = node->exactSize();
  }
  return equalSizes ? formatByteCount(equivalence.memberSize) + " each"
                    : "up to " + formatByteCount(equivalence.memberSize);
}

}  // namespace

std::string_view strategyName(SelectionStrategy strategy) {
  switch (strategy) {
    case SelectionStrategy::automatic:
      return "automatic";
    case SelectionStrategy::manual:
      return "by hand";
    case SelectionStrategy::none:
      return "none";
    case SelectionStrategy::newer:
      return "newest";
    case SelectionStrategy::older:
      return "oldest";
    case SelectionStrategy::random:
      return "random";
  }
  return "none";
}

void ResultsPrinter::print(const ZKEquivalence& equivalence) {
  fmt::memory_buffer text;
  append(text, equivalence);
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void ResultsPrinter::append(fmt::memory_buffer& text, const ZKEquivalence& equivalence) {
  const auto& selection = equivalence.currentSelectionConfiguration;
  fmt::format_to(
      std::back_inserter(text), "Group {}: {} ({}, {}), selection {}\n",
      equivalence.uniqueIdentifier, groupTitle(equivalence.privateEquivalenceKind),
      counted(static_cast<std::int64_t>(equivalence.duplicates.size()), "copy", "copies"),
      memberSizeText(equivalence),
      strategyName(selection ? selection->strategy : SelectionStrategy::none));
  bool allMayBeProposed = !equivalence.duplicates.empty();
  for (const auto& duplicate : equivalence.duplicates) {
    const auto node = duplicate.node();
    const bool remove = equivalence.isSelected(duplicate);
    const auto [differences, decision] = duplicate.storedDifferences();
    std::string note;
    if (auto link = differences.hardlinkedGroupID()) note = fmt::format("  [hard link {}]", *link);
    if (const auto library = node ? libraryMembershipText(*node) : std::nullopt)
      note += "  [" + *library + "]";
    if (!remove && decision) {
      if (auto reason = protectionDescription(*decision))
        note += fmt::format("  (protected: {})", *reason);
    }
    if (!remove && selection && selection->isOriginal(duplicate.identifier)) note += "  (original)";
    if (remove && selection)
      note += fmt::format("  ({})", copyReason(*selection, duplicate.identifier, decision));
    allMayBeProposed = allMayBeProposed && mayBeProposed(decision) && !duplicate.cleanID;
    const char* mark = remove ? "remove" : "keep";
    if (duplicate.cleanID) {
      mark = isCleaned(duplicate) ? "cleaned " : mark;
      note = cleanedNote(duplicate);
    }
    fmt::format_to(std::back_inserter(text), "  {:>5} {:<7}{}{}\n",
                   fmt::format("#{}", duplicate.identifier), mark,
                   node ? displayPath(node->path()) : std::string("(unreadable record)"), note);
    if (remove && !isCleaned(duplicate)) {
      ++proposed_;
      proposedSize_ += node ? node->exactSize() : 0;
    }
  }
  // Left as the scan proposed it, with nothing proposed although every copy could go. Similar
  // files differ, so nothing is ever proposed among them at random.
  if (allMayBeProposed && !isSimilar(equivalence.privateEquivalenceKind) && selection &&
      selection->selectedIDs.empty() && selection == equivalence.initialSelectionConfiguration) {
    ++tiedGroups_;
  }
  text.push_back('\n');
  ++groups_;
  files_ += equivalence.duplicates.size();
  reclaimable_ += equivalence.reclaimableSize;
}

void ResultsPrinter::add(const ResultsPrinter& other) {
  groups_ += other.groups_;
  files_ += other.files_;
  proposed_ += other.proposed_;
  proposedSize_ += other.proposedSize_;
  tiedGroups_ += other.tiedGroups_;
  reclaimable_ += other.reclaimable_;
}

void ResultsPrinter::printTotals(const DuplicatesDetectionResultsState& state) const {
  if (state.scannedNodesCount > 0) {
    fmt::print("Scanned {} ({}). ", counted(state.scannedNodesCount, "item", "items"),
               formatByteCount(state.scannedNodesSize));
  }
  if (groups_ == 0) {
    fmt::print("No duplicates found");
  } else {
    // Copies, not files: a group may be of folders.
    fmt::print(
        "Found {} group{} with {}; {} could be freed; {} proposed for removal", groups_,
        groups_ == 1 ? "" : "s", counted(static_cast<std::int64_t>(files_), "copy", "copies"),
        reclaimable_ > 0 ? formatByteCount(reclaimable_) : "nothing",
        proposed_ == 0 ? std::string("no copy")
                       : fmt::format("{} cop{} ({})", proposed_, proposed_ == 1 ? "y" : "ies",
                                     formatByteCount(proposedSize_)));
  }
  if (state.usedSizeThreshold.value_or(0) > 0) {
    fmt::print(" (groups under {} hidden; --min-size 0 shows all)",
               formatByteCount(*state.usedSizeThreshold));
  }
  fmt::print(".\n");
  if (tiedGroups_ > 0) {
    fmt::print(
        "In {} group{} nothing tells the copies apart, so all are kept; "
        "--select-random-among-equal proposes "
        "all but one.\n",
        tiedGroups_, tiedGroups_ == 1 ? "" : "s");
  }
}

Result<std::int64_t> printStoredResults(DuplicatesDetectionResults& results, ResultsModel* model) {
  ResultsPrinter printer;
  auto visited = results
                     .forEachEquivalence(
                         [&printer, model](const ZKEquivalence& equivalence) {
                           printer.print(equivalence);
                           if (model != nullptr) model->put(equivalence);
                           return true;
                         },
                         DuplicatesDetectionResults::MemberNodes::decodedAhead)
                     .wait();
  if (visited.hasValue()) printer.printTotals(results.state());
  return visited;
}

void printGroups(const std::vector<ZKEquivalence>& groups,
                 const DuplicatesDetectionResultsState& state, ResultsModel* model) {
  // The groups' text is made a chunk at a time on the shared pool (reading each copy's record
  // is most of the listing's time) and written in order.
  constexpr size_t kGroupsPerChunk = 16;
  struct Chunk {
    ResultsPrinter counts;
    fmt::memory_buffer text;
  };
  std::vector<Chunk> chunks((groups.size() + kGroupsPerChunk - 1) / kGroupsPerChunk);
  ParallelLoop::run(Executor::primary(), ThreadPool::shared().width(), chunks.size(),
                    [&](ParallelLoop::Items& items) {
                      while (auto at = items.next()) {
                        const size_t end = std::min(groups.size(), (*at + 1) * kGroupsPerChunk);
                        for (size_t group = *at * kGroupsPerChunk; group < end; ++group)
                          chunks[*at].counts.append(chunks[*at].text, groups[group]);
                      }
                    });
  ResultsPrinter printer;
  for (const auto& chunk : chunks) {
    std::fwrite(chunk.text.data(), 1, chunk.text.size(), stdout);
    printer.add(chunk.counts);
  }
  if (model != nullptr) {
    for (const auto& equivalence : groups) model->put(equivalence);
  }
  printer.printTotals(state);
}

}  // namespace zarnik::cli
