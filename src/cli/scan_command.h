// `zarnik scan`: scans folders and prints the groups found, as a summary or as the export
// document (--json).
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zarnik::cli {

struct ScanOptions {
  std::vector<std::string> paths;
  bool json = false;
  std::string minSize;  // empty: the stored size threshold
  bool exact = false;
  bool audioContent = false;
  bool folders = false;
  bool apps = false;
  bool similarImages = false;
  bool similarAudio = false;
  bool all = false;
  bool includeHidden = false;
  bool quiet = false;
  bool verbose = false;
  bool verify = false;
  bool noCache = false;
  std::vector<std::string> excludedPaths;
  std::vector<std::string> excludedExtensions;
  std::vector<std::string> alwaysSelectPaths;
  std::vector<std::string> neverSelectPaths;
  bool selectRandomAmongEqual = false;
  // Each given path, or "" where the option came without one: the libraries found for this user.
  std::vector<std::string> musicLibraries;
  std::vector<std::string> photoLibraries;
};

void addScanCommand(CLI::App& app, ScanOptions& options);
// The process exit status: 0 done, 1 nothing could be scanned or the scan failed,
// 130 interrupted.
int runScan(const ScanOptions& options);

}  // namespace zarnik::cli
