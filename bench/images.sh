#!/usr/bin/env bash
# Similar pictures: perceptual hashing of 300 made-up 12-megapixel JPEGs (a third are
# recompressed copies) by `zarnik scan --similar-images` with two threads, next to findimagedupes
# and libvips' own vipsthumbnail on the same set; then the matching of 100,000 random hashes.
#   bash bench/images.sh          (needs the release and bench builds: scripts/build.sh release bench)
set -euo pipefail
cd "$(dirname "$0")/.."
root=${BENCH_DIR:-/tmp/zarnik-bench}/pictures12mp
zarnik=$PWD/build/release/src/cli/zarnik
bench=$PWD/build/bench/bench/picture_bench
count=300
if [ "$(ls "$root" 2>/dev/null | wc -l)" -lt "$count" ]; then
  mkdir -p "$root"
  "$bench" generate "$root" "$count"
fi
work=$(mktemp -d /tmp/zarnik-images-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
cat "$root"/*.jpg > /dev/null  # warm the cache
timed() { local s e; s=$(date +%s.%N); "$@" > "$work/out" 2>/dev/null || true; e=$(date +%s.%N); python3 -c "print($e - $s)"; }
z=$(timed "$zarnik" scan -q --similar-images --min-size 0 "$root")
groups=$(grep -c '^Group' "$work/out" || true)
echo "zarnik scan --similar-images: $z s, $(python3 -c "print(f'{$count / $z:.1f}')") pictures/s, $groups groups"
v=$(timed bash -c "vipsthumbnail -s 256 -o '$work/t_%s.jpg' '$root'/*.jpg")
echo "vipsthumbnail (one thread):   $v s, $(python3 -c "print(f'{$v / $count:.3f}')") s a picture"
f=$(timed findimagedupes -t 90% -R "$root")
echo "findimagedupes:               $f s, $(python3 -c "print(f'{$f / $count:.3f}')") s a picture, $(wc -l < "$work/out") groups"
python3 -c "print(f'zarnik is {$f / $z:.1f} times faster than findimagedupes')"
"$bench" match 100000
