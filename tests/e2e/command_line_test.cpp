// Black-box tests of what the program tells about itself: --help, --version, and the shell
// completion scripts it writes from its command definitions.
#include "e2e/zarnik_runner.h"
#include "support/test_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace zarnik {
namespace {

using testing::contentsOf;
using testing::runZarnik;

using CommandLineTest = testing::ZarnikProgramTest;

// The commands `zarnik --help` lists, one a line under "Commands:".
std::vector<std::string> listedCommands(const testing::TestDir& scratch) {
  const auto help = runZarnik("--help", scratch).out;
  std::vector<std::string> commands;
  const auto start = help.find("Commands:\n");
  if (start == std::string::npos) return commands;
  const std::regex line(R"(^  ([a-z][a-z-]*) +\S.*$)");
  size_t position = start + 10;
  while (position < help.size() && help[position] != '\n') {
    const auto end = help.find('\n', position);
    std::smatch match;
    const std::string text = help.substr(position, end - position);
    if (std::regex_match(text, match, line)) commands.push_back(match[1]);
    position = end + 1;
  }
  return commands;
}

// The long options a command's --help shows.
std::set<std::string> longOptionsOf(const std::string& command, const testing::TestDir& scratch) {
  const auto help = runZarnik(command + " --help", scratch).out;
  std::set<std::string> options;
  // The options listed under "Options:" (a footer may name another command's options).
  const std::regex option(R"((^|\n) +(-[a-z],)?(--[a-z][a-z-]*))");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), option);
       it != std::sregex_iterator(); ++it) {
    options.insert((*it)[3].str());
  }
  return options;
}

bool programExists(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string outputOf(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

TEST_F(CommandLineTest, HelpListsEveryCommandOnOneLineAndHidesTheInternalOne) {
  const auto commands = listedCommands(scratch);
  for (const char* expected : {"scan", "results", "select", "clean", "revert", "compare"}) {
    EXPECT_NE(std::find(commands.begin(), commands.end(), expected), commands.end()) << expected;
  }
  EXPECT_EQ(runZarnik("--help", scratch).out.find("__write-completions"), std::string::npos);
}

TEST_F(CommandLineTest, EveryCommandsHelpShowsAnExampleOfThatCommand) {
  const auto commands = listedCommands(scratch);
  ASSERT_FALSE(commands.empty());
  for (const auto& command : commands) {
    const auto help = runZarnik(command + " --help", scratch).out;
    const auto example = help.find("Example");
    ASSERT_NE(example, std::string::npos) << command;
    EXPECT_NE(help.find("zarnik " + command, example), std::string::npos) << command;
  }
}

TEST_F(CommandLineTest, VersionNamesTheProgramAndTheLibrariesItWasBuiltWith) {
  const auto run = runZarnik("--version", scratch);
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(std::regex_search(run.out, std::regex(R"(^zarnik \d+\.\d+\.\d+\n)"))) << run.out;
  for (const char* library : {"SQLite", "OpenSSL", "TagLib", "libvips"}) {
    EXPECT_TRUE(std::regex_search(run.out, std::regex(std::string(library) + R"( \d+\.\d+\.\d+)")))
        << library;
  }
}

class CompletionTest : public CommandLineTest {
 protected:
  void SetUp() override {
    CommandLineTest::SetUp();
    const auto run = runZarnik("__write-completions " + testing::quoted(scratch.path()), scratch);
    ASSERT_EQ(run.status, 0) << run.err;
    bash = scratch / "zarnik.bash";
    zsh = scratch / "_zarnik";
    fish = scratch / "zarnik.fish";
  }
  std::string bash, zsh, fish;
};

TEST_F(CompletionTest, EveryScriptNamesEveryCommandAndEachOfItsOptions) {
  const auto commands = listedCommands(scratch);
  ASSERT_FALSE(commands.empty());
  const auto bashText = contentsOf(bash), zshText = contentsOf(zsh), fishText = contentsOf(fish);
  for (const auto& command : commands) {
    EXPECT_NE(bashText.find(command), std::string::npos) << command;
    EXPECT_NE(zshText.find("'" + command + ":"), std::string::npos) << command;
    EXPECT_NE(fishText.find("-a " + command + " "), std::string::npos) << command;
    const std::string fishCondition = "'__fish_seen_subcommand_from " + command + "'";
    for (const auto& option : longOptionsOf(command, scratch)) {
      const std::regex fishLine(fishCondition + "( -s [a-z])? -l " + option.substr(2) + " ");
      EXPECT_TRUE(std::regex_search(fishText, fishLine)) << command << " " << option;
      EXPECT_NE(bashText.find(option), std::string::npos) << command << " " << option;
      EXPECT_NE(zshText.find(option), std::string::npos) << command << " " << option;
    }
  }
}

TEST_F(CompletionTest, ScriptsPassEachShellsSyntaxCheck) {
  EXPECT_EQ(std::system(("bash -n " + testing::quoted(bash)).c_str()), 0);
  if (programExists("zsh")) {
    EXPECT_EQ(std::system(("zsh -n " + testing::quoted(zsh)).c_str()), 0);
  }
  if (programExists("fish")) {
    EXPECT_EQ(std::system(("fish -n " + testing::quoted(fish)).c_str()), 0);
  }
}

TEST_F(CompletionTest, BashCompletesCommandsAndTheValuesAnOptionAccepts) {
  const std::string library = "/usr/share/bash-completion/bash_completion";
  if (contentsOf(library).empty()) GTEST_SKIP() << "bash-completion is not installed";
  auto complete = [&](const std::string& words) {
    // The words as bash-completion hands them over while the last one is being typed.
    const std::string script = scratch.file(
        "complete.bash", "source " + library + "\nsource \"" + bash + "\"\nCOMP_WORDS=(" + words +
                             ")\nCOMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                             "COMP_LINE='" +
                             words +
                             "'\nCOMP_POINT=${#COMP_LINE}\n_zarnik\n"
                             "printf '%s\\n' \"${COMPREPLY[@]}\"\n");
    return outputOf("bash " + testing::quoted(script) + " 2>&1");
  };
  EXPECT_EQ(complete("zarnik sel"), "select\n");
  EXPECT_EQ(complete("zarnik select --strategy n"), "none\nnewest\n");
  EXPECT_EQ(complete("zarnik scan --verb"), "--verbose\n");
}

TEST_F(CompletionTest, FishCompletesCommandsAndTheValuesAnOptionAccepts) {
  if (!programExists("fish")) GTEST_SKIP() << "fish is not installed";
  auto complete = [&](const std::string& line) {
    const std::string script =
        scratch.file("complete.fish", "source \"" + fish + "\"\ncomplete -C '" + line + "'\n");
    return outputOf("fish --no-config " + testing::quoted(script) + " 2>&1");
  };
  EXPECT_NE(complete("zarnik rev").find("revert\tBring cleaned copies back"), std::string::npos);
  const auto values = complete("zarnik select --strategy o");
  EXPECT_EQ(values.rfind("oldest\t", 0), 0u) << values;
  EXPECT_EQ(std::count(values.begin(), values.end(), '\n'), 1) << values;
}

}  // namespace
}  // namespace zarnik
