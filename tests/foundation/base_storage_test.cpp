#include "foundation/base_storage.h"

#include <gtest/gtest.h>

#include <vector>

namespace zarnik {
namespace {

class InnerStorage : public BaseStorage {
 public:
  InnerStorage() { initializeDefaults(); }
  const PropertyTable& propertyTable() const override {
    static const PropertyTable kTable({{"threshold", Json(5), nullptr, nullptr, false, {"number"}, {}}});
    return kTable;
  }
  std::string_view className() const override { return "InnerStorage"; }
  std::shared_ptr<BaseStorage> makeFresh() const override { return std::make_shared<InnerStorage>(); }
};

const ValueTransformer kUppercaseForJson{
    [](const Json& v) { return Json(v.get<std::string>() + "!"); },
    [](const Json& v) -> std::optional<Json> {
      if (!v.is_string() || v.get<std::string>().empty()) return std::nullopt;
      auto text = v.get<std::string>();
      text.pop_back();
      return Json(text);
    }};

class OuterStorage : public BaseStorage {
 public:
  OuterStorage() { initializeDefaults(); }
  const PropertyTable& propertyTable() const override {
    static const PropertyTable kTable({
        {"enabled", Json(false), nullptr, nullptr, false, {"boolean"}, {}},
        {"count", Json(3), nullptr, nullptr, false, {"number"}, {}},
        {"label", Json("plain"), nullptr, &kUppercaseForJson, false, {"string"}, {}},
        {"noDefault", std::nullopt, nullptr, nullptr, false, {}, {}},
        {"inner", std::nullopt, nullptr, nullptr, false, {}, [] { return std::make_shared<InnerStorage>(); }},
    });
    return kTable;
  }
  std::string_view className() const override { return "OuterStorage"; }
  std::shared_ptr<BaseStorage> makeFresh() const override { return std::make_shared<OuterStorage>(); }
};

class EmptyStorage : public BaseStorage {
 public:
  EmptyStorage() { initializeDefaults(); }
  const PropertyTable& propertyTable() const override {
    static const PropertyTable kTable({});
    return kTable;
  }
  std::string_view className() const override { return "EmptyStorage"; }
  std::shared_ptr<BaseStorage> makeFresh() const override { return std::make_shared<EmptyStorage>(); }
};

TEST(BaseStorage, FreshObjectsHoldTheDefaultsAndNullRestoresThem) {
  OuterStorage storage;
  EXPECT_EQ(storage.valueForKey("count"), 3);
  storage.setValueForKey("count", 10);
  EXPECT_EQ(storage.valueForKey("count"), 10);
  storage.setValueForKey("count", nullptr);
  EXPECT_EQ(storage.valueForKey("count"), 3);
  storage.setValueForKey("noDefault", nullptr);
  EXPECT_TRUE(storage.valueForKey("noDefault").is_null());
  EXPECT_EQ(buildStorageOfDefaultValues<EmptyStorage>()->exportJSON(), Json::object());
}

TEST(BaseStorage, UnknownKeysAreIgnored) {
  OuterStorage storage;
  storage.setValueForKey("nonsense", 1);
  EXPECT_TRUE(storage.valueForKey("nonsense").is_null());
}

TEST(BaseStorage, JsonExportAndImportGiveEqualValues) {
  OuterStorage storage;
  storage.setValueForKey("enabled", true);
  storage.setValueForKey("label", "fancy");
  storage.substorage("inner")->setValueForKey("threshold", 42);
  const Json exported = storage.exportJSON();
  EXPECT_EQ(exported["label"], "fancy!");  // the JSON transformer applies
  OuterStorage restored;
  ASSERT_TRUE(restored.importJSON(exported).hasValue());
  EXPECT_EQ(restored.exportJSON(), exported);
  EXPECT_EQ(restored.valueForKey("label"), "fancy");
  EXPECT_EQ(restored.substorage("inner")->valueForKey("threshold"), 42);
}

TEST(BaseStorage, ArchiveChecksTheClassTagAndValueKinds) {
  OuterStorage storage;
  storage.setValueForKey("count", 8);
  const Json archive = storage.encode();
  EXPECT_EQ(archive["$class"], "OuterStorage");
  OuterStorage decoded;
  ASSERT_TRUE(decoded.decode(archive).hasValue());
  EXPECT_EQ(decoded.valueForKey("count"), 8);

  Json wrongClass = archive;
  wrongClass["$class"] = "Intruder";
  EXPECT_TRUE(OuterStorage().decode(wrongClass).hasError());
  Json wrongKind = archive;
  wrongKind["count"] = "eight";
  OuterStorage untouched;
  EXPECT_TRUE(untouched.decode(wrongKind).hasError());
  EXPECT_EQ(untouched.valueForKey("count"), 3);
}

TEST(BaseStorage, ChangesInsideNestedStoragesAreReportedByTheOuterOne) {
  OuterStorage storage;
  std::vector<std::string> keys;
  auto token = storage.observeChanges([&](const std::string& key, const Json&) { keys.push_back(key); });
  storage.setValueForKey("enabled", true);
  storage.setValueForKey("enabled", true);  // no change, no report
  storage.substorage("inner")->setValueForKey("threshold", 9);
  EXPECT_EQ(keys, (std::vector<std::string>{"enabled", "inner"}));
  token.cancel();
  storage.setValueForKey("count", 1);
  EXPECT_EQ(keys.size(), 2u);
}

TEST(BaseStorage, CopyHasTheSameValuesAndIsIndependent) {
  OuterStorage storage;
  storage.setValueForKey("count", 12);
  auto copy = storage.copy();
  EXPECT_EQ(copy->exportJSON(), storage.exportJSON());
  copy->setValueForKey("count", 13);
  EXPECT_EQ(storage.valueForKey("count"), 12);
  EXPECT_NE(storage.debugDescription().find("count=12"), std::string::npos);
}

}  // namespace
}  // namespace zarnik
