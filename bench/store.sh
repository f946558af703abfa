#!/usr/bin/env bash
# Stores 100,000 groups of 3 copies as a scan would (store_bench), then times `zarnik results`
# on them: until its first line, and in full.
#   bash bench/store.sh [GROUPS]     (needs the bench preset built: scripts/build.sh bench)
set -euo pipefail
cd "$(dirname "$0")/.."
groups=${1:-100000}
build=build/bench
data=$(mktemp -d /tmp/zarnik-store-bench-data-XXXXXX)
trap 'rm -rf "$data"' EXIT
"$build/bench/store_bench" "$groups" "$data"
XDG_DATA_HOME="$data" XDG_STATE_HOME="$data" python3 - "$build/src/cli/zarnik" <<'PY'
import subprocess, sys, time
start = time.monotonic()
process = subprocess.Popen([sys.argv[1], "results"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
process.stdout.readline()
first = time.monotonic() - start
lines = 1 + sum(1 for _ in process.stdout)
process.wait()
print(f"zarnik results: first line after {first:.3f} s, all {lines} lines after {time.monotonic() - start:.3f} s")
PY
