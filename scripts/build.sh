#!/usr/bin/env bash
# Configures and builds one preset: release (default: everything, tests included), app (the zarnik
# program, its picture module and the files installed with them, optimised without debug
# information: the quick first build), debug, asan, tsan, fuzz, bench, package (scripts/package.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
# Paths relative to the checkout let ccache serve a fresh clone in another folder (CI) from the
# objects an earlier build on this machine left.
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=true
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j2
