#include "foundation/fuzzy_byte_count_formatter.h"

#include "foundation/byte_count_formatter.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

const std::string kNbsp = "\u00A0";

TEST(FuzzyByteCountFormatter, EmptyForZeroAndNegativeCounts) {
  EXPECT_EQ(FuzzyByteCountFormatter().string(0), "Empty");
  EXPECT_EQ(FuzzyByteCountFormatter().string(-5), "Empty");
}

TEST(FuzzyByteCountFormatter, DecimalBoundaries) {
  const FuzzyByteCountFormatter f(ByteCountStyle::decimal);
  EXPECT_EQ(f.string(1), "few" + kNbsp + "B");
  EXPECT_EQ(f.string(11), "few" + kNbsp + "B");
  EXPECT_EQ(f.string(12), "dozens" + kNbsp + "of" + kNbsp + "B");
  EXPECT_EQ(f.string(999), "hundreds" + kNbsp + "of" + kNbsp + "B");
  EXPECT_EQ(f.string(1000), "few" + kNbsp + "kB");
  EXPECT_EQ(f.string(12000), "dozens" + kNbsp + "of" + kNbsp + "kB");
  EXPECT_EQ(f.string(999'999'999), "hundreds" + kNbsp + "of" + kNbsp + "MB");
  EXPECT_EQ(f.string(INT64_MAX), "few" + kNbsp + "EB");
}

TEST(FuzzyByteCountFormatter, BinaryBoundaries) {
  const FuzzyByteCountFormatter f(ByteCountStyle::binary);
  EXPECT_EQ(f.string(1023), "hundreds" + kNbsp + "of" + kNbsp + "B");
  EXPECT_EQ(f.string(1024), "few" + kNbsp + "KiB");
  EXPECT_EQ(f.string(1024 * 1024 - 1), "hundreds" + kNbsp + "of" + kNbsp + "KiB");
  EXPECT_EQ(FuzzyByteCountFormatter::string(1024, ByteCountStyle::memory), "few" + kNbsp + "KiB");
  EXPECT_EQ(FuzzyByteCountFormatter::string(1024, ByteCountStyle::file), "few" + kNbsp + "kB");
}

TEST(FuzzyByteCountFormatter, BinaryFlagChangesStyleOnlyWhenItDiffers) {
  FuzzyByteCountFormatter f(ByteCountStyle::memory);
  f.setBinary(true);
  EXPECT_EQ(f.countStyle(), ByteCountStyle::memory);
  f.setBinary(false);
  EXPECT_EQ(f.countStyle(), ByteCountStyle::decimal);
  f.setBinary(true);
  EXPECT_EQ(f.countStyle(), ByteCountStyle::binary);
  EXPECT_EQ(FuzzyByteCountFormatter::decode(f.encode()).countStyle(), ByteCountStyle::binary);
  EXPECT_EQ(f.stringFor(Json("text")), std::nullopt);
  EXPECT_EQ(f.stringFor(Json(2048)), "few" + kNbsp + "KiB");
}

TEST(ByteCountFormatter, FileStyleFigures) {
  EXPECT_EQ(formatByteCount(0), "0 bytes");
  EXPECT_EQ(formatByteCount(999), "999 bytes");
  EXPECT_EQ(formatByteCount(1000), "1 KB");
  EXPECT_EQ(formatByteCount(5'000'000), "5 MB");
  EXPECT_EQ(formatByteCount(1'500'000), "1.5 MB");
  EXPECT_EQ(formatByteCount(2'250'000'000), "2.25 GB");
}

TEST(ByteCountParsing, TakesBytesAndSizesWithDecimalOrBinaryUnitsAndRefusesTheRest) {
  EXPECT_EQ(parseByteCount("0"), 0);
  EXPECT_EQ(parseByteCount("1000000"), 1'000'000);
  EXPECT_EQ(parseByteCount("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(parseByteCount("500KB"), 500'000);
  EXPECT_EQ(parseByteCount("1.5 MB"), 1'500'000);
  EXPECT_EQ(parseByteCount("2g"), 2'000'000'000);
  EXPECT_EQ(parseByteCount("4KiB"), 4096);
  EXPECT_EQ(parseByteCount("2 GiB"), 2LL * 1024 * 1024 * 1024);
  EXPECT_EQ(parseByteCount("12 bytes"), 12);
  EXPECT_EQ(parseByteCount("1.5"), 1) << "a fraction of a byte is dropped";
  // What a size that is shown reads back as.
  EXPECT_EQ(parseByteCount(formatByteCount(2'250'000'000)), 2'250'000'000);

  for (const char* wrong : {"", "KB", "-5", "5 KX", "1.2.3MB", ".5M", "5.", "10 000",
                            "9223372036854775808", "99999999EB", "1e9", "auto"})
    EXPECT_EQ(parseByteCount(wrong), std::nullopt) << wrong;
}

}  // namespace
}  // namespace zarnik
