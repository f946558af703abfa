// What the person asks of the monitor, read from monitor.json: a file edited by hand keeps what
// it can and never stops the program that reads it.
#include "monitor/monitor_requests.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

TEST(MonitorRequests, WhatIsWrittenIsReadBackAndMistypedValuesAreLeftAtTheirDefaults) {
  MonitorRequests written;
  written.add("/home/a/Downloads");
  written.paused = true;
  written.ignoredCopies = {"/home/a/Downloads/b (copy).pdf"};
  const auto text = R"({"locations": ["/home/a/Downloads"], "paused": true,
                        "ignoredCopies": ["/home/a/Downloads/b (copy).pdf"]})";
  auto read = MonitorRequests::parse(text, "monitor.json");
  ASSERT_TRUE(read.hasValue());
  EXPECT_EQ(read.value(), written);

  read = MonitorRequests::parse(
      R"({"locations": "/home/a", "paused": ["yes"], "ignoredCopies": [3, "/x"]})", "monitor.json");
  ASSERT_TRUE(read.hasValue()) << "a value of the wrong kind is no reason to stop";
  EXPECT_TRUE(read.value().locations.empty());
  EXPECT_FALSE(read.value().paused);
  EXPECT_EQ(read.value().ignoredCopies, std::set<std::string>{"/x"});

  EXPECT_FALSE(MonitorRequests::parse("[1]", "monitor.json").hasValue());
  EXPECT_FALSE(MonitorRequests::parse("{", "monitor.json").hasValue());
}

}  // namespace
}  // namespace zarnik
