// `zarnik compare TESTED REFERENCE`: compares two export documents group by group.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace zarnik::cli {

struct CompareOptions {
  std::string tested;
  std::string reference;
  bool json = false;
};

void addCompareCommand(CLI::App& app, CompareOptions& options);
// 0 when the exports are identical, 1 when they differ, 2 when one cannot be read.
int runCompare(const CompareOptions& options);

}  // namespace zarnik::cli
