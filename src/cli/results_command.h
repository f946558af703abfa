// `zarnik results` lists the stored results of the last scan; `zarnik select` changes a group's
// selection, or undoes and redoes such changes.
#pragma once

#include <CLI/CLI.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zarnik::cli {

struct ResultsOptions {
  bool json = false;
  std::vector<std::string> filters;  // criteria by their command-line names
  std::string sort;                  // size, name, count or selected; empty: as stored
  bool reverse = false;
  std::string search;
  std::optional<std::size_t> limit;
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
