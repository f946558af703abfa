#include "base/byte_path.h"

#include <gtest/gtest.h>

#include "base/json.h"

namespace zarnik {
namespace {

TEST(BytePath, ValidUtf8PassesThroughJsonUnchanged) {
  EXPECT_EQ(bytesToJsonText("Fotos/Été 2024.jpg"), "Fotos/Été 2024.jpg");
  EXPECT_TRUE(isValidUtf8("Fotos/Été 2024.jpg"));
}

TEST(BytePath, UndecodableBytesSurviveAJsonRoundTrip) {
  const std::string names[] = {
      std::string("latin1-\xE9t\xE9.txt"),
      std::string("\xFF\xFE\x00tail", 7),
      std::string("truncated-\xE2\x82"),
      std::string("line\nbreak"),
      // A genuine character of the escape range must come back as itself too.
      std::string("private-\xF4\x8F\xBC\x81-char"),
      std::string("overlong-\xC0\xAF"),
      std::string("surrogate-\xED\xA0\x80"),
  };
  for (const auto& name : names) {
    const std::string text = bytesToJsonText(name);
    EXPECT_TRUE(isValidUtf8(text)) << displayPath(name);
    const std::string dumped = dumpJson(bytesJson(name));
    auto parsed = parseJson(dumped);
    ASSERT_TRUE(parsed.hasValue());
    EXPECT_EQ(bytesFromJson(parsed.value()), name) << displayPath(name);
  }
}

TEST(BytePath, DisplayEscapesControlCharactersAndBadBytes) {
  EXPECT_EQ(displayPath("a\nb"), "a\\x0Ab");
  EXPECT_EQ(displayPath("caf\xE9"), "caf\\xE9");
  EXPECT_EQ(displayPath("back\\slash"), "back\\\\slash");
  EXPECT_EQ(displayPath("Été"), "Été");
}

TEST(Json, HexDataRoundTripsAndRejectsBadDigits) {
  const std::string data("\x00\x01\xAB\xFF", 4);
  EXPECT_EQ(hexJson(data), "0001abff");
  EXPECT_EQ(dataFromHexJson(hexJson(data)), data);
  EXPECT_FALSE(dataFromHexJson(Json("abc")).has_value());
  EXPECT_FALSE(dataFromHexJson(Json("zz")).has_value());
}

TEST(Json, ParseErrorNamesTheOrigin) {
  auto result = parseJson("{not json", "/tmp/rules.json");
  ASSERT_TRUE(result.hasError());
  EXPECT_EQ(result.error().path, "/tmp/rules.json");
  EXPECT_NE(result.error().oneLine().find("/tmp/rules.json: "), std::string::npos);
}

}  // namespace
}  // namespace zarnik
