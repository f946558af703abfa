#!/usr/bin/env bash
# Enumeration speed and memory: 200,000 files in 5,000 folders against find, and bytes per
# node at 1,000,000 files. Trees are generated under ${BENCH_DIR:-/tmp/zarnik-bench}.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh bench >/dev/null
bench=build/bench/bench/enumeration_bench
root="${BENCH_DIR:-/tmp/zarnik-bench}"
[ -d "$root/tree200k" ] || bench/gen_corpus.py tree "$root/tree200k" 200000 5000
[ -d "$root/tree1m" ] || bench/gen_corpus.py tree "$root/tree1m" 1000000 20000
# Warm the cache, then time both in the same run.
find "$root/tree200k" -printf '%s\n' > /dev/null
for i in 1 2 3; do
  s=$(date +%s.%N); find "$root/tree200k" -printf '%s\n' > /dev/null; e=$(date +%s.%N)
  echo "find: $(echo "$e - $s" | bc) s"
  echo "zarnik (2 threads): $($bench "$root/tree200k" 2)"
done
echo "1,000,000 files: $($bench "$root/tree1m" 2)"
