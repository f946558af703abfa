#!/usr/bin/env bash
# The duplicates monitor's file watcher at rest: watches a tree of 20,000 folders and 200,000
# empty files (generated under ${BENCH_DIR:-/var/tmp/zarnik-bench}, a disk-backed folder), then
# measures over ${IDLE_SECONDS:-60} s of quiet the CPU time it uses (utime + stime of
# /proc/PID/stat) and its resident memory (VmRSS of /proc/PID/status). Also prints the time and
# memory taken to set up the watches, and then what a burst costs: `cp -r` of a folder of 10,000
# files into the watched tree (every file must be reported, with no queue overflow).
# Needs fs.inotify.max_user_watches above 20,200.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build build/bench --target monitor_idle_bench -j2 >/dev/null
bench=build/bench/bench/monitor_idle_bench
root="${BENCH_DIR:-/var/tmp/zarnik-bench}/monitor20k"
idle="${IDLE_SECONDS:-60}"
[ -d "$root" ] || bench/gen_corpus.py tree "$root" 200000 20000
burst="${BENCH_DIR:-/var/tmp/zarnik-bench}/burst10k"
[ -d "$burst" ] || { mkdir -p "$burst/album" && for i in $(seq 10000); do echo "$i" >"$burst/album/f$i.txt"; done; }
rm -rf "$root/burst-copy"
echo "tree: $(find "$root" -type d | wc -l) folders, $(find "$root" -type f | wc -l) files"

fifo=$(mktemp -u)
mkfifo "$fifo"
out=$(mktemp)
trap 'rm -f "$fifo" "$out"' EXIT
"$bench" "$root" <"$fifo" >"$out" &
pid=$!
exec 3>"$fifo"  # the program runs until this is closed
until [ -s "$out" ]; do
  kill -0 "$pid" 2>/dev/null || { echo "the bench program ended early" >&2; exit 1; }
  sleep 0.2  # the watches are being set up
done
head -1 "$out"

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
before=$(cpu_ticks "$pid")
sleep "$idle"  # quiet
after=$(cpu_ticks "$pid")
rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
s=$(date +%s.%N)
cp -r "$burst/album" "$root/burst-copy"
e=$(date +%s.%N)
sleep 2  # the last events are read
burst_ticks=$(( $(cpu_ticks "$pid") - after ))
exec 3>&-
wait "$pid"
tail -1 "$out"
echo "burst: cp -r of 10,000 files took $(echo "$e - $s" | bc) s; the watcher used $(echo "scale=2; $burst_ticks / $ticks" | bc) s of CPU"
rm -rf "$root/burst-copy"
awk -v t=$((after - before)) -v hz="$ticks" -v s="$idle" -v rss="$rss" 'BEGIN {
  printf "idle over %d s: cpu %.2f s (%.3f %% of one core), VmRSS %.1f MiB\n", s, t / hz, 100 * t / hz / s, rss / 1024 }'
