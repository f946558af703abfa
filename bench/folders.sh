#!/usr/bin/env bash
# What folder matching adds to a scan: a tree of 20,000 folders of five small files each, a
# tenth of them copies of others, scanned for exact duplicates with and without folders.
#   bash bench/folders.sh        (needs the release build; the tree stays in $BENCH_DIR)
set -euo pipefail
cd "$(dirname "$0")/.."
root=${BENCH_DIR:-/tmp/zarnik-bench}/folders20k
zarnik=$PWD/build/release/src/cli/zarnik
if [ ! -d "$root" ]; then
  python3 - "$root" <<'PY'
import os, random, sys
root, rng = sys.argv[1], random.Random(7)
originals = []
for i in range(20_000):
    folder = os.path.join(root, f"g{i // 200}", f"f{i}")
    os.makedirs(folder)
    if originals and rng.random() < 0.10:
        files = rng.choice(originals)
    else:
        files = [rng.randbytes(rng.randint(1, 8192)) for _ in range(5)]
        if len(originals) < 1000:
            originals.append(files)
    for n, data in enumerate(files):
        with open(os.path.join(folder, f"file{n}"), "wb") as out:
            out.write(data)
PY
fi
work=$(mktemp -d /tmp/zarnik-folders-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
"$zarnik" scan -q --exact --min-size 0 "$root" > /dev/null 2>&1  # warm the cache
best() {
  local best=999
  for _ in 1 2 3; do
    local s e; s=$(date +%s.%N); "$zarnik" scan -q "$@" --min-size 0 "$root" > "$work/out" 2>/dev/null; e=$(date +%s.%N)
    best=$(python3 -c "print(min($best, $e - $s))")
  done
  echo "$best"
}
exact=$(best --exact)
folders=$(best --exact --folders)
echo "exact only:        ${exact} s"
echo "exact and folders: ${folders} s  ($(grep -c '^Group' "$work/out" || true) groups, $(grep -c 'Duplicate folders' "$work/out" || true) of folders)"
python3 -c "print(f'folder matching adds {100 * ($folders - $exact) / $exact:.1f} %')"
