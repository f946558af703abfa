#include "platform/property_list.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include "platform/bundle_reader.h"
#include "support/test_dir.h"

namespace zarnik {
namespace {

constexpr const char* kInfoPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>CFBundleIdentifier</key><string>com.example.Tool</string>
  <key>CFBundleShortVersionString</key><string>2.1</string>
  <key>CFBundleVersion</key><string>2100</string>
  <key>CFBundleName</key><string>Tool</string>
  <key>CFBundlePackageType</key><string>APPL</string>
  <key>Numbers</key><array><integer>-3</integer><real>1.5</real><true/></array>
  <key>When</key><date>2001-01-01T00:01:00Z</date>
  <key>Blob</key><data>AAEC</data>
</dict>
</plist>)";

std::string binaryVersionOf(const std::string& xml) {
  plist_t root = nullptr;
  plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
  char* bin = nullptr;
  uint32_t length = 0;
  plist_to_bin(root, &bin, &length);
  std::string bytes(bin, length);
  free(bin);
  plist_free(root);
  return bytes;
}

TEST(PropertyList, XmlAndBinaryFormsGiveTheSameJson) {
  auto xml = parsePropertyList(kInfoPlist, "xml");
  ASSERT_TRUE(xml.hasValue()) << xml.error().oneLine();
  auto binary = parsePropertyList(binaryVersionOf(kInfoPlist), "binary");
  ASSERT_TRUE(binary.hasValue()) << binary.error().oneLine();
  EXPECT_EQ(xml.value(), binary.value());
  const Json& json = xml.value();
  EXPECT_EQ(json["CFBundleIdentifier"], "com.example.Tool");
  EXPECT_EQ(json["Numbers"][0], -3);
  EXPECT_DOUBLE_EQ(json["Numbers"][1].get<double>(), 1.5);
  EXPECT_EQ(json["Numbers"][2], true);
  EXPECT_DOUBLE_EQ(json["When"]["$date"].get<double>(), 978307260.0);
  EXPECT_EQ(json["Blob"]["$data"], "000102");
}

TEST(PropertyList, GarbageAndEmptyInputAreErrorsNamingTheOrigin) {
  for (std::string bad : {std::string(), std::string("not a plist"), std::string("bplist00\x01\x02", 10),
                          std::string("<plist><dict><key>a</key>")}) {
    auto result = parsePropertyList(bad, "/x/Info.plist");
    ASSERT_TRUE(result.hasError());
    EXPECT_EQ(result.error().path, "/x/Info.plist");
  }
}

TEST(PropertyList, RealsOutOfRangeHaveNoValueAndSurviveAJsonRoundTrip) {
  const std::string plist =
      "<plist><dict><key>huge</key><real>35043e330302.5</real><key>small</key><real>2.5</real></dict></plist>";
  auto parsed = parsePropertyList(plist, "test");
  ASSERT_TRUE(parsed.hasValue());
  EXPECT_TRUE(parsed.value()["huge"].is_null());
  EXPECT_EQ(parsed.value()["small"], 2.5);
  EXPECT_EQ(parseJson(dumpJson(parsed.value())).value(), parsed.value());
}

TEST(BundleReader, ReadsContentsInfoPlistOfAnApplicationBundle) {
  testing::TestDir dir;
  dir.file("Tool.app/Contents/Info.plist", kInfoPlist);
  auto info = readBundlePropertyList(dir / "Tool.app");
  ASSERT_TRUE(info.hasValue()) << info.error().oneLine();
  EXPECT_EQ(info.value().bundleIdentifier, "com.example.Tool");
  EXPECT_EQ(info.value().shortVersion, "2.1");
  EXPECT_EQ(info.value().version, "2100");
  EXPECT_EQ(info.value().name, "Tool");
  EXPECT_EQ(info.value().packageType, "APPL");
}

TEST(BundleReader, MissingOrMalformedInfoPlistIsAnError) {
  testing::TestDir dir;
  dir.dir("Empty.app/Contents");
  dir.file("Broken.app/Contents/Info.plist", "<plist><array>");
  dir.file("List.app/Contents/Info.plist", "<plist><array><string>x</string></array></plist>");
  EXPECT_TRUE(readBundlePropertyList(dir / "Empty.app").hasError());
  EXPECT_TRUE(readBundlePropertyList(dir / "Broken.app").hasError());
  EXPECT_TRUE(readBundlePropertyList(dir / "List.app").hasError());
}

}  // namespace
}  // namespace zarnik
