#!/usr/bin/env bash
# Resident memory per item of exact scans at 200,000 and 1,000,000 files: the peak resident size
# of `zarnik scan --exact --no-cache` (/usr/bin/time) less that of a scan of an empty folder,
# divided by the items listed (files and folders). Corpora, made by bench/gen_corpus.py under
# $BENCH_DIR (default /var/tmp/zarnik-bench, a disk-backed folder):
#   - sparse200k, sparse1m: sparse files of random sizes (most sizes unique, as in a home folder
#     where few files share a size), 200,000 in 2,000 folders and 1,000,000 in 20,000;
#   - small: 200,000 files of 1-64 KiB (most sizes shared, so most files are digested).
# Target: at most 200 bytes an item.
#   bash bench/memory_per_file.sh [ZARNIK]
set -euo pipefail
cd "$(dirname "$0")/.."
zarnik=${1:-$PWD/build/release/src/cli/zarnik}
bench=${BENCH_DIR:-/var/tmp/zarnik-bench}
work=$(mktemp -d /tmp/zarnik-memory-XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config" \
  XDG_CACHE_HOME="$work/cache"
mkdir -p "$work/empty"

peak_kib() {
  /usr/bin/time -f "%M" -o "$work/time" "$zarnik" scan -q --exact --no-cache "$1" > /dev/null 2>&1 || true
  tail -n 1 "$work/time"
}

[ -d "$bench/sparse200k" ] || bench/gen_corpus.py sparse "$bench/sparse200k" 200000 2000
[ -d "$bench/sparse1m" ] || bench/gen_corpus.py sparse "$bench/sparse1m" 1000000 20000
[ -d "$bench/small" ] || bench/gen_corpus.py small "$bench/small"
base=$(peak_kib "$work/empty")
for corpus in sparse200k sparse1m small; do
  items=$(find "$bench/$corpus" | wc -l)
  peak=$(peak_kib "$bench/$corpus")
  python3 -c "print(f'$corpus: {$items:,} items, peak {$peak / 1024:.1f} MiB (empty folder: {$base / 1024:.1f} MiB): {($peak - $base) * 1024 / $items:.0f} bytes an item')"
done
