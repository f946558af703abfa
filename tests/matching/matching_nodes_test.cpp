#include "support/test_dir.h"

#include "matching/matching_nodes_factory.h"
#include "matching/parked_files.h"
#include "matching/ticket_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace zarnik {
namespace {

using testing::TestDir;

class MatchingNodesTest : public ::testing::Test {
 protected:
  TestDir dir;
  OVURLResolver resolver{"/nonexistent-home"};
  std::shared_ptr<ExtendedScanRules> rules = std::make_shared<ExtendedScanRules>();
  ScanLocationPtr location;
  std::atomic<int> processed{0};
  std::atomic<int> hashed{0};

  void SetUp() override { location = ScanLocation::make(dir.path(), resolver); }

  std::shared_ptr<MatchingNodesFactory> factoryWithImageProcessor() {
    MatchingNodesFactoryOptions options;
    options.imageProcessor = [this](const MatchingNode& node, bool wantsHash) {
      ++processed;
      if (wantsHash) ++hashed;
      ImageFacts facts;
      facts.info = ImageInfo{};
      facts.info->size = ImageSize{node.attributes().exactSize, 1};
      if (wantsHash) facts.hashes = {1, 2, 3, 4};
      return facts;
    };
    return MatchingNodesFactory::make(rules, resolver, options);
  }

  MatchingNodePtr file(MatchingNodesFactory& factory, const std::string& name, size_t size) {
    dir.fileOfSize(name, size);
    return factory.buildNode(nullptr, name, dir / name,
                             *NodeAttributes::resourceValuesOf(dir / name), location);
  }
};

TEST_F(MatchingNodesTest, ImageFactsComeFromTheFactoryProcessorOnceAndTheHashesOnceMore) {
  auto factory = factoryWithImageProcessor();
  auto image = file(*factory, "a.jpg", 300);
  ASSERT_TRUE(image->imageInfo().has_value());
  EXPECT_EQ(image->imageInfo()->size.width, 300);
  EXPECT_EQ(processed.load(), 1);  // the second read was served from the node
  EXPECT_EQ(image->imageHash(), (std::vector<std::uint64_t>{1, 2, 3, 4}));
  EXPECT_EQ(image->imageHash().size(), 4u);
  EXPECT_EQ(processed.load(), 2);
  EXPECT_EQ(hashed.load(), 1);
  // Without a processor nothing is known, and asking again does not try again.
  auto plain = MatchingNodesFactory::make(rules, resolver);
  auto unknown = file(*plain, "b.jpg", 10);
  EXPECT_FALSE(unknown->imageInfo().has_value());
  EXPECT_TRUE(unknown->imageHash().empty());
  auto storable = image->buildStorableNode();
  ASSERT_TRUE(storable->content().imageInfo.has_value());
  EXPECT_EQ(storable->content().imageInfo->size.width, 300);
}

TEST_F(MatchingNodesTest, AMusicLibraryTrackKeepsItsLibraryFactsAndIsStoredAsALibraryItem) {
  auto factory = MatchingNodesFactory::make(rules, resolver);
  dir.fileOfSize("Music/Library/track.mp3", 64);
  dir.fileOfSize("Music/Library/.hidden.mp3", 64);
  auto library = std::dynamic_pointer_cast<MatchingDirectoryNode>(
      factory->buildNode(nullptr, "Music/Library", dir / "Music/Library",
                         *NodeAttributes::resourceValuesOf(dir / "Music/Library"), location));
  ASSERT_NE(library, nullptr);
  ITunesItemInfo info;
  info.name = "Track";
  const auto trackLocation = NodeLocation::fromRelativePath(location, "Music/Library/track.mp3");
  auto track = factory->buildITunesItemNode(
      ZKITunesLibraryItemIdentifier{42}, info, trackLocation, library,
      *NodeAttributes::resourceValuesOf(dir / "Music/Library/track.mp3"));
  EXPECT_EQ(track->path(), dir / "Music/Library/track.mp3");
  EXPECT_EQ(track->name(), "track.mp3");
  EXPECT_TRUE(track->isProcessingAllowed());
  auto stored = std::dynamic_pointer_cast<ZKITunesLibraryItemNode>(track->buildStorableNode());
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->mediaItemIdentifier()->uniqueIdentifier, 42);
  EXPECT_EQ(stored->iTunesItemInfo()->name, "Track");
  ASSERT_NE(stored->mediaLibraryNode(), nullptr);
  EXPECT_EQ(stored->mediaLibraryNode()->location().relativePath(), "Music/Library");
  // A track is validated like any item: a hidden one is ignored.
  auto hidden = factory->buildITunesItemNode(
      std::nullopt, std::nullopt,
      NodeLocation::fromRelativePath(location, "Music/Library/.hidden.mp3"), library,
      *NodeAttributes::resourceValuesOf(dir / "Music/Library/.hidden.mp3"));
  EXPECT_FALSE(hidden->isProcessingAllowed());
}

TEST_F(MatchingNodesTest, APhotosItemStandsForItsOriginalOrElseItsPreview) {
  auto factory = MatchingNodesFactory::make(rules, resolver);
  auto master = file(*factory, "master.heic", 500);
  auto preview = file(*factory, "preview.jpg", 200);
  auto thumbnail = file(*factory, "thumb.jpg", 20);
  PhotosItemInfo info;
  info.identifier = "ITEM-1";
  auto item = factory->buildPhotosLibraryItem(nullptr, info, master, preview, {thumbnail});
  EXPECT_EQ(item->type(), NodeType::image);
  EXPECT_EQ(item->path(), master->path());  // placed where its original is
  EXPECT_EQ(item->attributes().exactSize, 500);
  EXPECT_EQ(item->contentStandIns(), (std::vector<MatchingNodePtr>{master}));
  EXPECT_TRUE(item->isModelingIntoDuplicateAllowed());
  auto stored = std::dynamic_pointer_cast<ZKPhotosLibraryItemNode>(item->buildStorableNode());
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->photosIdentifier(), "ITEM-1");
  ASSERT_NE(stored->masterNode(), nullptr);
  EXPECT_EQ(stored->thumbnailNodes().size(), 1u);

  auto withoutMaster =
      factory->buildPhotosLibraryItem(nullptr, info, nullptr, preview, {thumbnail});
  EXPECT_EQ(withoutMaster->contentStandIns(), (std::vector<MatchingNodePtr>{preview}));
  EXPECT_EQ(withoutMaster->path(), preview->path());
  // Thumbnails alone are too little to compare by.
  auto thumbnailsOnly =
      factory->buildPhotosLibraryItem(nullptr, info, nullptr, nullptr, {thumbnail});
  EXPECT_TRUE(thumbnailsOnly->contentStandIns().empty());
  EXPECT_FALSE(thumbnailsOnly->isModelingIntoDuplicateAllowed());
}

TEST_F(MatchingNodesTest, ParkedFilesGiveBackEachFileUnderItsTicket) {
  auto factory = MatchingNodesFactory::make(rules, resolver);
  const auto folder = [&](const std::string& name) {
    dir.dir(name);
    return std::static_pointer_cast<MatchingDirectoryNode>(factory->buildNode(
        nullptr, name, dir / name, *NodeAttributes::resourceValuesOf(dir / name), location));
  };
  const std::vector<std::shared_ptr<MatchingDirectoryNode>> folders = {folder("a"), folder("b"),
                                                                       folder("c")};
  ParkedFiles parked;
  struct Kept {
    ParkedFiles::Ticket ticket;
    std::string path;
    std::optional<std::uint64_t> contentPrefixHash;
  };
  std::vector<Kept> kept;
  // Enough names to fill several of the blocks names are packed in; some too long to pack; one
  // in four with its first block's fingerprint packed before its name.
  for (int i = 0; i < 12000; ++i) {
    const auto& in = folders[static_cast<size_t>(i) % folders.size()];
    std::string name = "file-" + std::to_string(i) + std::string(static_cast<size_t>(i % 7), 'x');
    if (i % 3001 == 0) name = std::string(5000, 'n') + std::to_string(i);
    if (i == 7) name = "caf\xE9";  // not UTF-8
    std::optional<std::uint64_t> prefix;
    if (i % 4 == 1) prefix = 0x0123456789ABCDEFULL * static_cast<std::uint64_t>(i);
    const auto file = ParkedFileNode::inFolder(in, name, prefix);
    kept.push_back({parked.add(file), file.path(), prefix});
    EXPECT_TRUE(parked.holds(kept.back().ticket, file));
    EXPECT_FALSE(parked.holds(kept.back().ticket, ParkedFileNode::inFolder(in, name + "2")));
    EXPECT_FALSE(
        parked.holds(kept.back().ticket,
                     ParkedFileNode::inFolder(folders[(static_cast<size_t>(i) + 1) % 3], name)));
  }
  auto whole = file(*factory, "a/whole", 10);
  const auto wholeTicket = parked.add(ParkedFileNode(whole, false));
  EXPECT_TRUE(parked.holds(wholeTicket, ParkedFileNode(whole, false)));
  EXPECT_FALSE(parked.holds(wholeTicket, ParkedFileNode::inFolder(folders[0], "whole")));
  for (const auto& [ticket, path, prefix] : kept) {
    const auto back = parked.take(ticket);
    EXPECT_EQ(back.path(), path);
    EXPECT_EQ(back.contentPrefixHash(), prefix) << path;
  }
  const auto back = parked.take(wholeTicket);
  ASSERT_NE(back.wholeNode(), nullptr);
  EXPECT_EQ(*back.wholeNode(), whole);  // the very node
  std::weak_ptr<MatchingDirectoryNode> firstFolder = folders[0];
  parked.clear();
  EXPECT_EQ(firstFolder.use_count(), 1);  // only the test's own reference is left
}

TEST(TicketTable, EveryKeyKeepsItsOwnTicketThroughGrowth) {
  TicketTable table;
  EXPECT_EQ(table.find(7), nullptr);
  // Sizes that agree in their low bits, and sizes in a row: neither may crowd the others out.
  std::vector<std::uint64_t> keys;
  for (std::uint64_t i = 0; i < 5000; ++i) keys.push_back(i << 20);
  for (std::uint64_t i = 1; i <= 5000; ++i) keys.push_back(i);
  const auto ticketOf = [](size_t i) {
    return ParkedFiles::Ticket{static_cast<std::uint32_t>(i % 97), static_cast<std::uint32_t>(i)};
  };
  for (size_t i = 0; i < keys.size(); ++i) {
    auto& ticket = table[keys[i]];
    ASSERT_EQ(ticket.place, TicketTable::kAbsent) << keys[i];  // new
    ticket = ticketOf(i);
  }
  EXPECT_EQ(table.size(), keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    const auto* ticket = table.find(keys[i]);
    ASSERT_NE(ticket, nullptr) << keys[i];
    EXPECT_EQ(ticket->place, ticketOf(i).place);
    EXPECT_EQ(ticket->item, ticketOf(i).item);
    EXPECT_EQ(table[keys[i]].item, ticketOf(i).item);  // held: not added again
  }
  EXPECT_EQ(table.size(), keys.size());
  EXPECT_EQ(table.find(5001), nullptr);
  EXPECT_EQ(table.find(std::uint64_t{5000} << 20), nullptr);
  table.clear();
  EXPECT_EQ(table.size(), 0U);
  EXPECT_EQ(table.find(keys.front()), nullptr);
}

}  // namespace
}  // namespace zarnik
