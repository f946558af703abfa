// zarnik: the command-line front end.
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/version.h"

int main(int argc, char** argv) {
  CLI::App app{"Zarnik finds duplicate files, similar images and audio, and duplicate folders."};
  app.set_version_flag("--version", std::string("zarnik ") + zarnik::kVersion);
  app.require_subcommand(0, 1);
  CLI11_PARSE(app, argc, argv);
  if (argc == 1) {
    std::fputs(app.help().c_str(), stdout);
  }
  return 0;
}
