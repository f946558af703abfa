// `zarnik results` lists the stored results of the last scan; `zarnik select` changes a group's
// selection, or undoes and redoes such changes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace zarnik::cli {

struct ResultsOptions {
  bool json = false;
};

struct SelectOptions {
  std::optional<std::int64_t> group;
  std::string strategy;
  std::vector<std::int64_t> select;
  std::vector<std::int64_t> deselect;
  bool undo = false;
  bool redo = false;
  bool force = false;
};

void addResultsCommand(CLI::App& app, ResultsOptions& options);
int runResults(const ResultsOptions& options);
void addSelectCommand(CLI::App& app, SelectOptions& options);
int runSelect(const SelectOptions& options);

}  // namespace zarnik::cli
