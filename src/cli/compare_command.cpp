#include "cli/compare_command.h"

#include "base/byte_path.h"
#include "base/path_components.h"
#include "scanning/exported_groups.h"

#include <fmt/format.h>

#include <fstream>
#include <sstream>

namespace zarnik::cli {
namespace {

Result<std::vector<exported::Equivalence>> readExport(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Error::posix(errno, path);
  std::stringstream text;
  text << in.rdbuf();
  ZK_ASSIGN_OR_RETURN(Json document, parseJson(text.str(), path));
  auto equivalences = exported::decodeDocument(document);
  if (equivalences.hasError()) {
    Error error = equivalences.error();
    error.path = path;
    return error;
  }
  return equivalences;
}

std::string memberText(const exported::Equivalence::Duplicate& duplicate) {
  return displayPath(appendingPathComponent(duplicate.scanLocation, duplicate.path));
}

void printComparison(const exported::EquivalenceComparison& comparison) {
  const auto& shown = comparison.testedEquivalence ? *comparison.testedEquivalence
                                                   : *comparison.referenceEquivalence;
  fmt::print("{} group of {} copies, first {}\n", shown.type, shown.duplicates.size(),
             shown.duplicates.empty() ? std::string("-") : memberText(shown.duplicates.front()));
  if (!comparison.referenceEquivalence) fmt::print("  only in the tested export\n");
  if (!comparison.testedEquivalence) fmt::print("  only in the reference export\n");
  if (!comparison.falsePositiveDifferences.empty()) {
    fmt::print("  differences only the tested group shows: {}\n",
               fmt::join(comparison.falsePositiveDifferences, ", "));
  }
  if (!comparison.falseNegativeDifferences.empty()) {
    fmt::print("  differences only the reference group shows: {}\n",
               fmt::join(comparison.falseNegativeDifferences, ", "));
  }
  for (const auto& member : comparison.duplicateDifferences) {
    if (!member.referenceDuplicate) {
      fmt::print("  {}: only in the tested group\n", memberText(*member.testedDuplicate));
    } else if (!member.testedDuplicate) {
      fmt::print("  {}: only in the reference group\n", memberText(*member.referenceDuplicate));
    } else {
      fmt::print("  {}: selection {}\n", memberText(*member.testedDuplicate),
                 rawValue(member.autoselectionComparisonResult));
    }
  }
}

}  // namespace

void addCompareCommand(CLI::App& app, CompareOptions& options) {
  CLI::App* compare =
      app.add_subcommand("compare", "Compare an export (scan --json) with a reference export");
  compare->footer(
      "Example:\n  zarnik scan --json ~/Music > today.json && zarnik compare today.json "
      "yesterday.json");
  compare->add_option("tested", options.tested, "The export to check")
      ->type_name("FILE")
      ->required();
  compare->add_option("reference", options.reference, "The export it should match")
      ->type_name("FILE")
      ->required();
  compare->add_flag("--json", options.json, "Print the differing groups as JSON");
}

int runCompare(const CompareOptions& options) {
  auto tested = readExport(options.tested);
  auto reference = readExport(options.reference);
  for (const auto* read : {&tested, &reference}) {
    if (read->hasError()) {
      fmt::print(stderr, "zarnik: {}\n", read->error().oneLine());
      return 2;
    }
  }
  const auto comparisons = exported::compare(tested.value(), reference.value());
  size_t differing = 0;
  Json differences = Json::array();
  for (const auto& comparison : comparisons) {
    if (comparison.areIdentical()) continue;
    ++differing;
    if (options.json) {
      differences.push_back(comparison.encode());
    } else {
      printComparison(comparison);
    }
  }
  if (options.json) {
    fmt::print("{}\n", dumpJson(differences, 2));
  } else if (differing == 0) {
    fmt::print("identical: {} groups compared\n", comparisons.size());
  } else {
    fmt::print("{} of {} groups differ\n", differing, comparisons.size());
  }
  return differing == 0 ? 0 : 1;
}

}  // namespace zarnik::cli
