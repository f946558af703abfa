#include "foundation/fuzzy_byte_count_formatter.h"

#include <gtest/gtest.h>

#include "foundation/byte_count_formatter.h"

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

}  // namespace
}  // namespace zarnik
