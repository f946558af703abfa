#include "foundation/logger.h"

#include "support/test_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace zarnik {
namespace {

TEST(Logger, EntryNamesAuthorFunctionMessageAndTagsOnAContinuationLine) {
  Logger logger;
  LogContext context = LogContext::at("/data/photo.jpg");
  context.underlyingError = "Permission denied";
  const std::string entry = logger.formatEntry("ScanningTask", "start()", "Did fail", context);
  EXPECT_EQ(entry,
            "[ScanningTask] start() Did fail\n\t\t\t\t\tlocation: /data/photo.jpg, underlying "
            "error: Permission denied");
  EXPECT_EQ(logger.formatEntry("A", "f()", "plain", {}), "[A] f() plain");
}

TEST(Logger, AnonymousModeHidesPaths) {
  Logger logger;
  logger.setAnonymous(true);
  EXPECT_NE(logger.formatEntry("A", "f()", "m", LogContext::at("/secret/photo.jpg"))
                .find("location: [*.jpg]"),
            std::string::npos);
  EXPECT_NE(logger.formatEntry("A", "f()", "m", LogContext::at("/secret/folder", true))
                .find("location: directory"),
            std::string::npos);
}

TEST(Logger, WritesEntriesToItsFileAndTimingLinesToTheConsole) {
  testing::TestDir dir;
  Logger logger;
  logger.setFilePath(dir / "zarnik.log");
  std::FILE* console = std::tmpfile();
  logger.setConsole(console);
  logger.log("MatchCandidatesProvider", "finish()", "Did finish");
  logger.logTiming("ScanningTask", "finish()", "[scan] Total time 1.5 s");
  logger.flush();
  std::ifstream in(dir / "zarnik.log");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("[MatchCandidatesProvider] finish() Did finish"), std::string::npos);
  EXPECT_NE(text.str().find("[scan] Total time 1.5 s"), std::string::npos);
  std::rewind(console);
  char buffer[128] = {};
  ASSERT_NE(std::fgets(buffer, sizeof(buffer), console), nullptr);
  EXPECT_EQ(std::string(buffer), "[scan] Total time 1.5 s\n");

  // A sink of the front end's takes the console's place while it is set, and the log still
  // gets every line.
  std::fclose(console);
  console = std::tmpfile();
  logger.setConsole(console);
  std::vector<std::string> sunk;
  logger.setConsoleSink([&sunk](std::string_view line) { sunk.emplace_back(line); });
  logger.logTiming("ScanningTask", "finish()", "[scan] Build finished 0.2 s");
  logger.setConsoleSink(nullptr);
  logger.logTiming("ScanningTask", "finish()", "[scan] Total time 2 s");
  logger.flush();
  EXPECT_EQ(sunk, std::vector<std::string>{"[scan] Build finished 0.2 s"});
  std::rewind(console);
  ASSERT_NE(std::fgets(buffer, sizeof(buffer), console), nullptr);
  EXPECT_EQ(std::string(buffer), "[scan] Total time 2 s\n");
  std::ifstream again(dir / "zarnik.log");
  std::stringstream all;
  all << again.rdbuf();
  EXPECT_NE(all.str().find("[scan] Build finished 0.2 s"), std::string::npos);
  std::fclose(console);
}

TEST(Logger, AFullLogFileIsKeptAsTheOldOneAndANewOneStarts) {
  testing::TestDir dir;
  dir.fileOfSize("zarnik.log", 9 << 20);  // more than a log file may hold
  Logger logger;
  logger.setFilePath(dir / "zarnik.log");
  logger.setConsole(nullptr);
  for (int i = 0; i < 100; ++i) logger.log("A", "f()", "line " + std::to_string(i));
  logger.flush();
  EXPECT_EQ(std::filesystem::file_size(dir / "zarnik.log.1"), 9u << 20);
  std::ifstream in(dir / "zarnik.log");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str().find("[A] f() line 0"),
            text.str().find("[A] f()"));  // starts with the new lines
  EXPECT_NE(text.str().find("[A] f() line 99"), std::string::npos);
  EXPECT_LT(text.str().size(), 10'000u);
}

TEST(Logger, AnUnwritableLogFileNeverStopsTheCaller) {
  Logger logger;
  logger.setFilePath("/nonexistent-folder/zarnik.log");
  logger.setConsole(nullptr);
  logger.log("A", "f()", "still fine");
  logger.logTiming("A", "f()", "timing");
  EXPECT_NE(::access("/nonexistent-folder", F_OK), 0);
}

}  // namespace
}  // namespace zarnik
