#!/usr/bin/env bash
# Cleaning throughput: COUNT pairs of small files are scanned, then the copies are moved to the
# trash, brought back, and removed permanently; each step is timed.
#   bash bench/clean.sh [COUNT]     (default 10,000; needs the release build)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-10000}
zarnik=$PWD/build/release/src/cli/zarnik
work=$(mktemp -d /tmp/zarnik-clean-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/a" "$work/tree/b"
python3 - "$work/tree" "$count" <<'PY'
import sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    content = f"pair {i} " * 3
    for path in (f"{root}/a/{i}", f"{root}/b/{i} copy"):
        with open(path, "w") as f:
            f.write(content)
PY
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
"$zarnik" scan -q --exact --min-size 0 "$work/tree" | tail -n 1
timed() { local start end; start=$(date +%s.%N); "$@" | head -n 1; end=$(date +%s.%N);
          python3 -c "print(f'  {($end - $start):.2f} s, {$count / ($end - $start):.0f} copies/s')"; }
timed "$zarnik" clean --yes
timed "$zarnik" revert --all
timed "$zarnik" clean --yes --delete
