#include "platform/glob_filter.h"

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <fnmatch.h>
#include <string>
#include <vector>

namespace zarnik {
namespace {

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Every name of up to `length` characters over `alphabet`.
std::vector<std::string> namesOver(const std::string& alphabet, size_t length) {
  std::vector<std::string> names{""};
  for (size_t from = 0, size = 1; size <= length; ++size) {
    const size_t to = names.size();
    for (size_t i = from; i < to; ++i) {
      for (char c : alphabet) names.push_back(names[i] + c);
    }
    from = to;
  }
  return names;
}

// The globs file type databases hold beside plain extensions, and shapes that test the reader.
const std::vector<std::string> kGlobs = {
    "*.so.[0-9]*", "sconscript.*", "*~",      "*.anim[1-9j]",
    "*,v",         "*%",           "*.[1-9]", "[0-9][0-9][0-9].vdr",
    "makefile.*",  "readme*",      "a?b",     "*a*b*",
    "[]a]*",       "[a-]b",        "*[!a]",   "[[:digit:]]*",
    "a\\*",        "ab",           "*",       "?",
    "*a*a",        "a*a*a",        "[A-B]*",  "RE*a",
    "*.[A-C]",     "*[.-B]",       "[Z-a]*",
};

TEST(GlobFilter, NeverTurnsAwayANameTheGlobMatchesWhateverItsCase) {
  const auto names = namesOver("aAbcRE.1~,v%]-0_`", 4);
  for (const auto& glob : kGlobs) {
    const GlobFilter filter(glob);
    for (const auto& name : names) {
      if (::fnmatch(glob.c_str(), name.c_str(), FNM_CASEFOLD) != 0) continue;
      EXPECT_TRUE(filter.admits(lowered(name))) << glob << " matches \"" << name << "\"";
    }
  }
}

TEST(GlobFilter, TurnsAwayNamesThatLackTheGlobsLiteralText) {
  EXPECT_FALSE(GlobFilter("*.[1-9]").admits("s104.bin"));
  EXPECT_FALSE(GlobFilter("*.[1-9]").admits("notes.0"));
  EXPECT_TRUE(GlobFilter("*.[1-9]").admits("ls.1"));
  EXPECT_FALSE(GlobFilter("*.so.[0-9]*").admits("libx.bin"));
  EXPECT_FALSE(GlobFilter("*.so.[0-9]*").admits(".so."));
  EXPECT_TRUE(GlobFilter("*.so.[0-9]*").admits("libx.so.6"));
  EXPECT_FALSE(GlobFilter("readme*").admits("s104.bin"));
  EXPECT_FALSE(GlobFilter("[0-9][0-9][0-9].vdr").admits("12.vdr"));
  EXPECT_FALSE(GlobFilter("*.anim[1-9j]").admits("x.animk"));
  EXPECT_FALSE(GlobFilter("*a*a").admits("a"));
  // Globs it cannot read are not filtered.
  EXPECT_TRUE(GlobFilter("[[:digit:]]*").admits("x"));
  EXPECT_TRUE(GlobFilter("a\\*").admits("b"));
  EXPECT_TRUE(GlobFilter("caf\xc3\xa9*").admits("x"));
}

// The window runs in the desktop's locale, where the full match folds letters beyond ASCII too.
TEST(GlobFilter, LeavesNamesBeyondAsciiToTheFullMatch) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale here";
  const std::string kelvin = "x.\xe2\x84\xaa";  // KELVIN SIGN, which folds onto k
  const bool matches = ::fnmatch("*.k", kelvin.c_str(), FNM_CASEFOLD) == 0;
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_TRUE(GlobFilter("*.k").admits(kelvin)) << "the full match says " << matches;
}

}  // namespace
}  // namespace zarnik
