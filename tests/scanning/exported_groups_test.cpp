#include "scanning/exported_groups.h"

#include <gtest/gtest.h>

namespace zarnik::exported {
namespace {

Equivalence group(std::string type,
                  const std::vector<std::pair<std::string, std::optional<bool>>>& members,
                  std::set<std::string> differences = {"Name"}) {
  Equivalence equivalence;
  equivalence.type = std::move(type);
  for (auto& [path, autoselect] : members)
    equivalence.duplicates.push_back({"~/data/", path, autoselect});
  equivalence.differences = std::move(differences);
  return equivalence;
}

TEST(ExportedEquivalence, TheDocumentRoundTripsAndAnUnknownSelectionIsLeftOut) {
  const std::vector<Equivalence> groups = {
      group("exact hash", {{"a.txt", false}, {"a copy.txt", true}}),
      group("size", {{"b\xff.bin", std::nullopt}, {"c.bin", std::nullopt}}, {})};
  const Json document = encodeDocument(groups);
  EXPECT_FALSE(document["groups"][1]["duplicates"][0].contains("autoselect"));
  auto decoded = decodeDocument(parseJson(dumpJson(document)).value());
  ASSERT_TRUE(decoded.hasValue()) << decoded.error().description;
  EXPECT_EQ(decoded.value(), groups);  // including a name that is not UTF-8
  EXPECT_EQ(encodeDocument({}), (Json{{"groups", Json::array()}}));
  EXPECT_TRUE(decodeDocument(Json{{"groups", Json::array({Json{{"type", "size"}}})}}).hasError());
  EXPECT_TRUE(decodeDocument(Json::array()).hasError());
  // A document written before the list was named "groups" is still read.
  Json earlier = parseJson(dumpJson(document)).value();
  earlier["equivalences"] = std::move(earlier["groups"]);
  earlier.erase("groups");
  auto fromEarlier = decodeDocument(earlier);
  ASSERT_TRUE(fromEarlier.hasValue()) << fromEarlier.error().description;
  EXPECT_EQ(fromEarlier.value(), groups);
}

TEST(ExportedEquivalence, EachCopyCarriesItsReasonThroughTheDocument) {
  std::vector<Equivalence> groups = {
      group("exact hash", {{"photo.jpg", false}, {"photo (1).jpg", true}})};
  groups[0].duplicates[0].reason = "original";
  groups[0].duplicates[1].reason = "name ends in a copy number";
  const Json document = encodeDocument(groups);
  EXPECT_EQ(document["groups"][0]["duplicates"][1]["reason"], "name ends in a copy number");
  auto decoded = decodeDocument(parseJson(dumpJson(document)).value());
  ASSERT_TRUE(decoded.hasValue()) << decoded.error().description;
  EXPECT_EQ(decoded.value(), groups);
}

TEST(ExportedEquivalence, TheDocumentWrittenGroupByGroupIsTheEncodedOne) {
  const std::vector<Equivalence> groups = {
      group("exact hash", {{"a.txt", false}, {"a copy.txt", true}}),
      group("size", {{"b\xff.bin", std::nullopt}, {"c.bin", std::nullopt}}, {})};
  for (const auto& equivalences : {groups, std::vector<Equivalence>{}}) {
    std::FILE* file = std::tmpfile();
    writeDocument(file, equivalences.size(), [&](size_t index) { return equivalences[index]; });
    std::rewind(file);
    std::string written;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file))
      written.push_back(static_cast<char>(c));
    std::fclose(file);
    EXPECT_EQ(written, dumpJson(encodeDocument(equivalences), 2));
  }
}

TEST(ExportedEquivalence, SelectionsAreComparedMemberByMember) {
  const Equivalence::Duplicate selected{"~/", "a", true};
  const Equivalence::Duplicate kept{"~/", "a", false};
  const Equivalence::Duplicate unknown{"~/", "a", std::nullopt};
  EXPECT_EQ(fromDuplicates(selected, selected), AutoselectionComparisonResult::ok);
  EXPECT_EQ(fromDuplicates(selected, kept), AutoselectionComparisonResult::falsePositive);
  EXPECT_EQ(fromDuplicates(kept, selected), AutoselectionComparisonResult::falseNegative);
  EXPECT_EQ(fromDuplicates(unknown, selected), AutoselectionComparisonResult::undefined);
}

TEST(ExportedEquivalence, ComparisonFindsChangedSelectionsDifferencesAndMissingGroups) {
  const std::vector<Equivalence> reference = {
      group("exact hash", {{"a.txt", false}, {"a copy.txt", true}}),
      group("exact hash", {{"x.txt", false}, {"y.txt", true}}),
      group("size", {{"s1", false}, {"s2", true}})};
  for (const auto& comparison : compare(reference, reference))
    EXPECT_TRUE(comparison.areIdentical());

  std::vector<Equivalence> tested = reference;
  tested[0].duplicates[1].autoselect = false;              // no longer proposed
  tested[1].differences = {"Name", "DateOfModification"};  // a difference more
  tested.pop_back();                                       // a group lost
  const auto comparisons = compare(tested, reference);
  ASSERT_EQ(comparisons.size(), 3u);
  ASSERT_EQ(comparisons[0].duplicateDifferences.size(), 1u);
  EXPECT_EQ(comparisons[0].duplicateDifferences[0].autoselectionComparisonResult,
            AutoselectionComparisonResult::falseNegative);
  EXPECT_EQ(comparisons[1].falsePositiveDifferences,
            (std::vector<std::string>{"DateOfModification"}));
  EXPECT_TRUE(comparisons[1].duplicateDifferences.empty());
  EXPECT_FALSE(comparisons[2].testedEquivalence.has_value());  // only the reference has it
  EXPECT_FALSE(comparisons[2].areIdentical());
  EXPECT_EQ(comparisons[2].encode()["tested"], "missing");
}

}  // namespace
}  // namespace zarnik::exported
