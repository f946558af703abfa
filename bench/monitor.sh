#!/usr/bin/env bash
# The duplicates monitor as a person runs it, `zarnik monitor run` on a tree of 20,000 folders
# and 200,000 files of 1-4 KiB (a few hundred of them copies), in a home of its own:
#   idle     after the first walk (state "monitoring"), the CPU time (utime + stime of
#            /proc/PID/stat) and VmRSS over ${IDLE_SECONDS:-60} s of quiet, with the default
#            node limit and with mixedPreferences.duplicatesMonitorNodeLimit 200000;
#   latency  with a node limit of 400000 (at 200000 the tree fills it: the monitor then takes in
#            no new file, as its status says), a `cp` of a 10 MiB file already in the tree:
#            seconds until the status file names the copy, 5 times (min / median / max);
#   burst    `cp -r` of a folder of 10,000 files (1,000 of them copies of files in the tree):
#            the VmRSS peak (sampled every 0.2 s), and the monitor's groups (`zarnik monitor
#            review --json`) against those of `zarnik scan --json --min-size 0` of the same tree.
# PHASES="idle latency burst" (the default) chooses what runs; burst needs latency's monitor.
# The trees are generated once under ${BENCH_DIR:-/var/tmp/zarnik-bench} (a disk-backed folder).
# Needs fs.inotify.max_user_watches above 20,200.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
cmake --preset release >/dev/null
cmake --build build/release --target zarnik -j2 >/dev/null
zarnik="$PWD/build/release/src/cli/zarnik"
bench_dir="${BENCH_DIR:-/var/tmp/zarnik-bench}"
root="$bench_dir/monitor20k-content"
burst="$bench_dir/burst10k-content"
idle="${IDLE_SECONDS:-60}"
phases="${PHASES:-idle latency burst}"

# Folders d000/s00 .. d199/s99, ten files each; every 500th file repeats an earlier one, and
# big/original.bin is the 10 MiB file of the latency test.
[ -d "$root" ] || python3 - "$root" "$burst" <<'EOF'
import os, random, sys
root, burst = sys.argv[1], sys.argv[2]
rng = random.Random(21)
files = []
for d in range(200):
    for s in range(100):
        folder = f"{root}/d{d:03}/s{s:02}"
        os.makedirs(folder)
        for f in range(10):
            path = f"{folder}/f{f}.dat"
            if files and len(files) % 500 == 499:
                data = open(rng.choice(files), "rb").read()
            else:
                data = os.urandom(rng.randint(1024, 4096))
            open(path, "wb").write(data)
            files.append(path)
os.makedirs(f"{root}/big")
open(f"{root}/big/original.bin", "wb").write(os.urandom(10 << 20))
os.makedirs(f"{burst}/album")
for i in range(10000):
    data = open(rng.choice(files), "rb").read() if i % 10 == 0 else os.urandom(rng.randint(1024, 4096))
    open(f"{burst}/album/p{i:05}.dat", "wb").write(data)
EOF
rm -rf "$root/burst-copy" "$root"/big/copy*
echo "tree: $(find "$root" -type d | wc -l) folders, $(find "$root" -type f | wc -l) files"

home=$(mktemp -d)
trap '[ "$pid" -gt 0 ] && kill "$pid" 2>/dev/null; rm -rf "$home" "$root/burst-copy" "$root"/big/copy*' EXIT
pid=0
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_STATE_HOME="$home/state"
export XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/runtime"
unset DBUS_SESSION_BUS_ADDRESS
mkdir -p "$XDG_RUNTIME_DIR"
status_file="$XDG_DATA_HOME/zarnik/monitor-status.json"
ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
state() {
  "$zarnik" monitor status --json 2>/dev/null | python3 -c '
import json, sys
try:
    d = json.load(sys.stdin); print(d["state"], d.get("itemsKnown", 0), d.get("groups", 0))
except ValueError:
    print("unknown")'
}

# Starts the monitor on the tree and waits for its first walk to end.
start_monitor() {
  rm -rf "$XDG_DATA_HOME"
  "$zarnik" monitor run "$root" 2>"$home/monitor.err" &
  pid=$!
  local s
  s=$(date +%s.%N)
  until [ "$(state | cut -d' ' -f1)" = monitoring ]; do
    kill -0 "$pid" 2>/dev/null || { cat "$home/monitor.err" >&2; exit 1; }
    sleep 0.5
  done
  echo "first walk: $(echo "$(date +%s.%N) - $s" | bc) s; state, files known, groups: $(state)"
}
stop_monitor() { kill -TERM "$pid"; wait "$pid"; pid=0; }

measure_idle() {
  local before after rss
  before=$(cpu_ticks "$pid")
  sleep "$idle"  # nothing changes
  after=$(cpu_ticks "$pid")
  rss=$(rss_kib "$pid")
  awk -v t=$((after - before)) -v hz="$ticks" -v s="$idle" -v rss="$rss" 'BEGIN {
    printf "idle over %d s: cpu %.2f s (%.3f %% of one core), VmRSS %.1f MiB\n", s, t / hz, 100 * t / hz / s, rss / 1024 }'
}

if [[ " $phases " == *" idle "* ]]; then
  echo "== idle, default node limit"
  start_monitor
  measure_idle
  stop_monitor
  echo "== idle, node limit 200000"
  "$zarnik" config set mixedPreferences.duplicatesMonitorNodeLimit 200000 >/dev/null
  start_monitor
  measure_idle
  stop_monitor
fi
[[ " $phases " == *" latency "* ]] || exit 0

"$zarnik" config set mixedPreferences.duplicatesMonitorNodeLimit 400000 >/dev/null
start_monitor
echo "== latency: cp of a 10 MiB file"
latencies=()
for i in 1 2 3 4 5; do
  s=$(date +%s.%N)
  cp "$root/big/original.bin" "$root/big/copy$i.bin"
  until grep -q "big/copy$i.bin" "$status_file" 2>/dev/null; do sleep 0.05; done
  latencies+=("$(echo "$(date +%s.%N) - $s" | bc)")
  sleep 3  # the next copy comes in after this one is told
done
printf '%s\n' "${latencies[@]}" | sort -n | awk '{v[NR]=$1} END {printf "latency over %d copies: min %.2f s, median %.2f s, max %.2f s\n", NR, v[1], v[int((NR+1)/2)], v[NR]}'

[[ " $phases " == *" burst "* ]] || exit 0

echo "== burst: cp -r of 10,000 files"
peak=$(rss_kib "$pid")
( while kill -0 "$pid" 2>/dev/null; do awk '/^VmRSS:/ {print $2}' "/proc/$pid/status"; sleep 0.2; done ) >"$home/rss.txt" &
sampler=$!
s=$(date +%s.%N)
cp -r "$burst/album" "$root/burst-copy"
echo "cp -r took $(echo "$(date +%s.%N) - $s" | bc) s"
# Absorbed when the monitor is back to monitoring and its groups stop changing.
previous=""
while :; do
  sleep 2
  now=$(state)
  [ "${now%% *}" = monitoring ] && [ "$now" = "$previous" ] && break
  previous="$now"
done
echo "absorbed after $(echo "$(date +%s.%N) - $s" | bc) s; state, files known, groups: $now"
kill "$sampler"
peak=$(sort -n "$home/rss.txt" | tail -1)
echo "burst VmRSS peak $(echo "scale=1; $peak / 1024" | bc) MiB; VmHWM over the whole run $(awk '/^VmHWM:/ {print $2 / 1024 " MiB"}' "/proc/$pid/status")"
grep -qi overflow "$home/monitor.err" && echo "the monitor's messages mention an overflow"
"$zarnik" monitor review --json >"$home/monitor.json"
stop_monitor
# The monitor reports copies of any size: the scan shows its groups of small files too.
"$zarnik" scan --json --min-size 0 "$root" >"$home/scan.json"
python3 - "$home/monitor.json" "$home/scan.json" <<'EOF'
import json, sys
def groups(path):
    return {frozenset(c["scanLocation"] + c["path"] for c in g["duplicates"]) for g in json.load(open(path))["equivalences"]}
monitor, scan = groups(sys.argv[1]), groups(sys.argv[2])
print(f"groups: monitor {len(monitor)}, scan {len(scan)}, the same sets of paths: {monitor == scan}")
for g in list(scan - monitor)[:5]: print("  only the scan:", sorted(g))
for g in list(monitor - scan)[:5]: print("  only the monitor:", sorted(g))
EOF
