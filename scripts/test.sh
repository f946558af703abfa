#!/usr/bin/env bash
# Builds and runs every test: the release build with GCC, then the sanitizer build with
# clang, and the layering check. Set ZARNIK_QUICK=1 to run only the GCC build.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/check_layers.sh
scripts/build.sh release
ctest --preset release
if [ "${ZARNIK_QUICK:-0}" != 1 ]; then
  scripts/build.sh asan
  ctest --preset asan
fi
