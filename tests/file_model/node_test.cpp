#include "support/test_dir.h"

#include "file_model/base_node.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

using testing::TestDir;

class NodeTest : public ::testing::Test {
 protected:
  TestDir dir;
  OVURLResolver resolver{"/nonexistent-home"};
  ScanLocationPtr location() { return ScanLocation::make(dir.path(), resolver); }
};

TEST_F(NodeTest, LocationsAreRelativeToTheirScanLocationAndRejectOutsiders) {
  auto scan = location();
  ASSERT_NE(scan, nullptr);
  auto inside = NodeLocation::make(scan, dir / "Photos/2024/a.jpg");
  ASSERT_TRUE(inside.has_value());
  EXPECT_EQ(inside->relativePath(), "Photos/2024/a.jpg");
  EXPECT_EQ(inside->relativePathComponents(), (PathComponents{"Photos", "2024", "a.jpg"}));
  EXPECT_EQ(inside->path(), dir / "Photos/2024/a.jpg");
  EXPECT_EQ(inside->relativeName(), "a.jpg");
  EXPECT_EQ(inside->pathExtension(), "jpg");
  EXPECT_EQ(inside->abbreviatedPath(), dir / "Photos/2024/a.jpg");
  EXPECT_FALSE(NodeLocation::make(scan, "/elsewhere/a.jpg").has_value());
  EXPECT_FALSE(NodeLocation::make(scan, dir.path() + "x/a.jpg").has_value());
  auto root = NodeLocation::make(scan, dir.path());
  ASSERT_TRUE(root.has_value());
  EXPECT_EQ(root->path(), dir.path());
}

TEST_F(NodeTest, AttributesOfFilesDirectoriesLinksAndHardLinks) {
  dir.fileOfSize("a.bin", 3000);
  dir.hardlink("b.bin", "a.bin");
  dir.dir("folder");
  dir.symlink("link", "a.bin");
  auto file = NodeAttributes::resourceValuesOf(dir / "a.bin");
  auto twin = NodeAttributes::resourceValuesOf(dir / "b.bin");
  auto folder = NodeAttributes::resourceValuesOf(dir / "folder");
  auto link = NodeAttributes::resourceValuesOf(dir / "link");
  ASSERT_TRUE(file && twin && folder && link);
  EXPECT_EQ(file->vnodeType, VNodeType::regular);
  EXPECT_EQ(file->exactSize, 3000);
  EXPECT_GE(file->diskSize, 0);
  EXPECT_EQ(file->numberOfHardlinks, 2u);
  EXPECT_EQ(file->fileResourceID, twin->fileResourceID);
  EXPECT_EQ(folder->vnodeType, VNodeType::directory);
  EXPECT_EQ(folder->exactSize, 0);
  EXPECT_FALSE(folder->hasBundle);
  EXPECT_EQ(link->vnodeType, VNodeType::symbolicLink);
}

TEST_F(NodeTest, SpecialFilesYieldNoAttributes) {
  dir.fifo("pipe");
  dir.socket("s");
  EXPECT_FALSE(NodeAttributes::resourceValuesOf(dir / "pipe").has_value());
  EXPECT_FALSE(NodeAttributes::resourceValuesOf(dir / "s").has_value());
  EXPECT_FALSE(NodeAttributes::resourceValuesOf(dir / "missing").has_value());
}

TEST_F(NodeTest, DiskSizeFallsBackToTheFileSize) {
  ResourceValues values;
  values.fileResourceType = FileResourceType::regular;
  values.totalFileSize = 77;
  values.fileSize = 77;
  EXPECT_EQ(NodeAttributes::urlValuesByKey(values)->diskSize, 77);
  values.totalFileSize.reset();
  EXPECT_EQ(NodeAttributes::urlValuesByKey(values)->diskSize, 0);
  values.fileResourceType = FileResourceType::characterSpecial;
  EXPECT_FALSE(NodeAttributes::urlValuesByKey(values).has_value());
}

TEST_F(NodeTest, BundleDirectoriesAreMarked) {
  dir.file("Tool.app/Contents/Info.plist", "<plist><dict/></plist>");
  auto app = NodeAttributes::resourceValuesOf(dir / "Tool.app");
  ASSERT_TRUE(app.has_value());
  EXPECT_TRUE(app->hasBundle);
  EXPECT_EQ(app->isApplication, true);
}

TEST_F(NodeTest, NodesOfEveryClassSurviveAnArchiveRoundTrip) {
  const std::string odd = "caf\xE9\nname.jpg";
  dir.fileOfSize(odd, 10);
  auto scan = location();
  auto attributes = NodeAttributes::resourceValuesOf(dir / odd);
  ASSERT_TRUE(attributes.has_value());
  NodeContent content;
  content.exactFileHashData = std::string("\x01\x02\xff", 3);
  content.audioInfo = AudioInfo{183.5, "Artist", std::nullopt, "Song", 320000, 7'000'000};
  ImageInfo image;
  image.size = {4032, 3024};
  image.cameraInfo = CameraInfo{"Canon", "EOS", std::nullopt};
  image.creationDate = dateFromSecondsSince1970(1'700'000'000.25);
  image.creationMsec = 250;
  image.location = GeoLocation{48.1, 11.5, 520.0};
  content.imageInfo = image;
  BundleInfo bundle;
  bundle.bundleIdentifier = "com.example.app";
  bundle.arrangeVersion = Version::parse("1.2.3");
  content.bundleInfo = bundle;

  auto file = std::make_shared<ZKFileNode>(*NodeLocation::make(scan, dir / odd), *attributes,
                                           content, NodeType::image, CloudService::dropbox);
  auto decoded = ZKBaseNode::decode(file->encode());
  ASSERT_TRUE(decoded.hasValue()) << decoded.error().oneLine();
  const ZKBaseNode& node = *decoded.value();
  EXPECT_EQ(node.className(), "ZKFileNode");
  EXPECT_EQ(node.path(), dir / odd);
  // All but the change time as listed, which only keys the digest cache during a scan.
  NodeAttributes archived = *attributes;
  EXPECT_NE(archived.dateOfStatusChange, Date{}) << "the listing reads it";
  archived.dateOfStatusChange = Date{};
  EXPECT_EQ(node.attributes(), archived);
  EXPECT_EQ(node.content(), content);
  EXPECT_EQ(node.type(), NodeType::image);
  EXPECT_EQ(node.belongsToCloudService(), CloudService::dropbox);

  MediaLibraryInfo library{MediaLibraryKind::iTunes, Version::parse("12.9"), true, true};
  auto libraryNode = std::make_shared<ZKDirectoryNode>(
      *NodeLocation::make(scan, dir.path()), *attributes, NodeContent{}, NodeType::iTunesLibrary,
      std::nullopt, library);
  ITunesItemInfo track;
  track.trackID = 12;
  track.name = "Song";
  track.playlistIDs = {"P1"};
  auto item = std::make_shared<ZKITunesLibraryItemNode>(
      *NodeLocation::make(scan, dir / odd), *attributes, content, NodeType::audio, track,
      ZKITunesLibraryItemIdentifier{99}, libraryNode);
  EXPECT_TRUE(item->isMemberOfDefaultITunesLibrary());
  auto decodedItem = ZKBaseNode::decode(item->encode());
  ASSERT_TRUE(decodedItem.hasValue()) << decodedItem.error().oneLine();
  auto* itunes = dynamic_cast<ZKITunesLibraryItemNode*>(decodedItem.value().get());
  ASSERT_NE(itunes, nullptr);
  EXPECT_EQ(itunes->iTunesItemInfo(), track);
  EXPECT_EQ(itunes->mediaItemIdentifier()->uniqueIdentifier, 99);
  EXPECT_TRUE(itunes->isMemberOfDefaultITunesLibrary());

  auto photo = std::make_shared<ZKPhotosLibraryItemNode>(
      *NodeLocation::make(scan, dir / odd), *attributes, NodeContent{}, "uuid-1", libraryNode,
      PhotosItemInfo{"uuid-1",
                     "IMG.HEIC",
                     std::nullopt,
                     dateFromSecondsSince1970(5),
                     true,
                     {10, 20},
                     std::nullopt,
                     {"Trips"}},
      file, nullptr, std::vector<ZKPhotosLibraryItemNode::NodePtr>{file});
  EXPECT_EQ(photo->exactSize(), 10);
  auto decodedPhoto = ZKBaseNode::decode(photo->encode());
  ASSERT_TRUE(decodedPhoto.hasValue()) << decodedPhoto.error().oneLine();
  auto* photos = dynamic_cast<ZKPhotosLibraryItemNode*>(decodedPhoto.value().get());
  ASSERT_NE(photos, nullptr);
  EXPECT_EQ(photos->thumbnailNodes().size(), 1u);
  EXPECT_EQ(photos->infoOrderedNodes().size(), 2u);
  EXPECT_EQ(photos->photosItemInfo()->albums, std::vector<std::string>{"Trips"});
}

TEST_F(NodeTest, DecodingRefusesUnknownClassesAndIncompleteRecords) {
  dir.file("a.txt", "x");
  auto attributes = NodeAttributes::resourceValuesOf(dir / "a.txt");
  ZKFileNode node(*NodeLocation::make(location(), dir / "a.txt"), *attributes, {},
                  NodeType::document, std::nullopt);
  Json archive = node.encode();
  archive["$class"] = "NSEvilObject";
  EXPECT_TRUE(ZKBaseNode::decode(archive).hasError());
  Json incomplete = node.encode();
  incomplete.erase("attributes");
  EXPECT_TRUE(ZKBaseNode::decode(incomplete).hasError());
  EXPECT_TRUE(ZKBaseNode::decode(Json::array()).hasError());
}

TEST(PhotosIdentifier, IsReadFromPathsInsideALibrary) {
  auto id = ZKPhotosLibraryItemIdentifier::fromPathComponents(
      pathComponents("/L.photoslibrary/originals/A/ABCD-1234.heic"));
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(id->groupIdentifier, "A");
  EXPECT_EQ(id->uniqueIdentifier, "ABCD-1234");
  EXPECT_FALSE(
      ZKPhotosLibraryItemIdentifier::fromPathComponents(pathComponents("/x/y.jpg")).has_value());
}

}  // namespace
}  // namespace zarnik
