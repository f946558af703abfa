#!/usr/bin/env bash
# Peak memory and time of whole scans, with /usr/bin/time:
#   - `zarnik scan /usr/share` looking for every kind, next to `zarnik scan --exact /usr/share`
#     (targets: at most 200 MiB, and at most 4 times as long as --exact);
#   - `zarnik scan --similar-images` of desktop wallpapers (target: at most 150 MiB): the
#     pictures of /usr/share/backgrounds when it holds at least 8, else 16 made-up wallpapers
#     (JPEG 5120 × 2880, PNG, WebP and TIFF 3840 × 2160) beside the SVG backgrounds of
#     /usr/share/desktop-base when it is installed.
#   bash bench/scan_memory.sh [ZARNIK]
# ZARNIK defaults to build/release/src/cli/zarnik; made-up wallpapers need the bench build
# (scripts/build.sh bench) and are kept in $BENCH_DIR (default /tmp/zarnik-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
zarnik=${1:-$PWD/build/release/src/cli/zarnik}
bench=$PWD/build/bench/bench/picture_bench
work=$(mktemp -d /tmp/zarnik-memory-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config" \
  XDG_CACHE_HOME="$work/cache"

# Prints "SECONDS KIB" of one scan; its output is thrown away (a scan that finds groups may exit 0
# or 1 as it likes here).
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$zarnik" scan -q "$@" > /dev/null 2>&1 || true
  tail -n 1 "$work/time"
}
mib() { python3 -c "print(f'{$1 / 1024:.0f}')"; }
verdict() { python3 -c "print('ok' if $1 else 'OVER TARGET')"; }

wallpapers=/usr/share/backgrounds
raster='.*\.\(jpe?g\|png\|webp\|tiff?\|gif\|bmp\|heic\|avif\)'
if [ "$(find "$wallpapers" -iregex "$raster" 2>/dev/null | wc -l)" -lt 8 ]; then
  wallpapers=${BENCH_DIR:-/tmp/zarnik-bench}/wallpapers
  if [ "$(find "$wallpapers" -iregex "$raster" 2>/dev/null | wc -l)" -lt 16 ]; then
    mkdir -p "$wallpapers"/{jpeg,png,webp,tiff}
    "$bench" generate "$wallpapers/jpeg" 8 5120 2880 jpg
    "$bench" generate "$wallpapers/png" 4 3840 2160 png
    "$bench" generate "$wallpapers/webp" 2 3840 2160 webp
    "$bench" generate "$wallpapers/tiff" 2 3840 2160 tif
    if [ -d /usr/share/desktop-base ]; then
      mkdir -p "$wallpapers/svg"
      find /usr/share/desktop-base -name '*.svg' -size +20k -exec cp -t "$wallpapers/svg" {} + 2>/dev/null || true
    fi
  fi
fi

find /usr/share > /dev/null 2>&1 || true
measure --exact /usr/share > /dev/null  # warms the page cache for the runs that count
read -r exact_s exact_kb <<< "$(measure --exact /usr/share)"
read -r all_s all_kb <<< "$(measure /usr/share)"
read -r pictures_s pictures_kb <<< "$(measure --similar-images "$wallpapers")"
picture_count=$(find "$wallpapers" -iregex "$raster" | wc -l)
other_count=$(find "$wallpapers" -type f | wc -l)

echo "zarnik scan --exact /usr/share:        $exact_s s, $(mib "$exact_kb") MiB"
echo "zarnik scan /usr/share (every kind):   $all_s s, $(mib "$all_kb") MiB" \
  "($(python3 -c "print(f'{$all_s / max($exact_s, 0.01):.1f}')") × --exact;" \
  "memory $(verdict "$all_kb <= 200 * 1024"), time $(verdict "$all_s <= 4 * max($exact_s, 0.01)"))"
echo "zarnik scan --similar-images $wallpapers ($picture_count pictures, $((other_count - picture_count)) other files):" \
  "$pictures_s s, $(mib "$pictures_kb") MiB (memory $(verdict "$pictures_kb <= 150 * 1024"))"
