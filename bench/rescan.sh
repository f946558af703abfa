#!/usr/bin/env bash
# What the digest cache saves: per corpus, the best of $RUNS (default 3) wall times of
#   - a scan without the cache (--no-cache),
#   - a first scan, which fills an empty cache and writes results where there were none,
#   - a rescan of the unchanged tree with that cache,
# and the rescan's share of the first scan's time (targets: at most 0.4 on the small files,
# 0.1 on the pictures with --similar-images, 0.2 on the large files with a cold page cache).
#   bash bench/rescan.sh [small|pictures|large ...]      (default: small pictures)
# Corpora are made by bench/gen_corpus.py under $BENCH_DIR (default /tmp/zarnik-bench); the
# pictures are 300 twelve-megapixel JPEGs in $BENCH_DIR/pictures12mp (bench/images.sh makes
# them). The large files are read with a cold page cache where /proc/sys/vm/drop_caches may be
# written (as root), else warm, which the output says.
set -euo pipefail
cd "$(dirname "$0")/.."
zarnik=${ZARNIK:-$PWD/build/release/src/cli/zarnik}
bench=${BENCH_DIR:-/tmp/zarnik-bench}
runs=${RUNS:-3}
work=$(mktemp -d /tmp/zarnik-rescan-XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config" \
  XDG_CACHE_HOME="$work/cache"

cold=false
drop_caches() { $cold && { sync; echo 3 > /proc/sys/vm/drop_caches; }; return 0; }
seconds() {
  drop_caches
  /usr/bin/time -f "%e" -o "$work/time" "$zarnik" scan -q "$@" > /dev/null 2>&1 || true
  tail -n 1 "$work/time"
}
best() { tr ' ' '\n' | sort -g | head -n 1; }

measure() {
  local name=$1; shift
  local uncached="" first="" again=""
  "$zarnik" scan -q --no-cache "$@" > /dev/null 2>&1 || true  # warms the page cache
  for _ in $(seq "$runs"); do
    uncached+="$(seconds --no-cache "$@") "
    rm -rf "$XDG_CACHE_HOME" "$XDG_DATA_HOME"  # a first scan: no digests, no earlier results
    first+="$(seconds "$@") "
    again+="$(seconds "$@") "
  done
  uncached=$(echo $uncached | best); first=$(echo $first | best); again=$(echo $again | best)
  python3 -c "print(f'$name: without cache {$uncached:.2f} s, first scan {$first:.2f} s, rescan {$again:.2f} s, rescan / first = {$again / $first:.2f}')"
}

for corpus in "${@:-small pictures}"; do
  case $corpus in
    small) [ -d "$bench/small" ] || bench/gen_corpus.py small "$bench/small"
           measure "small files (warm)" --exact "$bench/small" ;;
    pictures) [ -d "$bench/pictures12mp" ] || { echo "no $bench/pictures12mp: run bench/images.sh first" >&2; continue; }
           measure "12 MP pictures (warm)" --similar-images "$bench/pictures12mp" ;;
    large) [ -d "$bench/large" ] || bench/gen_corpus.py large "$bench/large"
           if (echo 1 > /proc/sys/vm/drop_caches) 2>/dev/null; then cold=true; label=cold; else label="warm: the page cache cannot be dropped here"; fi
           measure "large files ($label)" --exact "$bench/large"; cold=false ;;
    *) echo "unknown corpus $corpus" >&2; exit 2 ;;
  esac
done
