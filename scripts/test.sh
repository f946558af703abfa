#!/usr/bin/env bash
# Builds and runs every test: the release build with GCC and a check of it installed into a
# temporary prefix, then the sanitizer build with clang (without the kill-point tests, which the
# release build runs whole and which take minutes each when sanitized), the layering check, and
# the format and lint check of the C++ files the last commit changed (tools/check_changed.sh). Set
# ZARNIK_QUICK=1 to run only the GCC build, ZARNIK_PACKAGE=1 to also build and check the Debian
# package (slow: a build of its own).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/check_layers.sh
scripts/build.sh release
tools/check_changed.sh build/release
ctest --preset release
# Again with a pool that runs one task at a time: a task that waited for the pool's work
# without giving its place up would hang here.
ZARNIK_POOL_WIDTH=1 ctest --preset release -E '^Ways/FaultInjection\.' --timeout 300
scripts/install_check.sh build/release
if [ "${ZARNIK_PACKAGE:-0}" = 1 ]; then
  scripts/package.sh
fi
if [ "${ZARNIK_QUICK:-0}" != 1 ]; then
  scripts/build.sh asan
  ctest --preset asan
fi
