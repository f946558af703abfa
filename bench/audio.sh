#!/usr/bin/env bash
# Similar audio on a music collection: 20,000 made-up MP3 tracks (ID3v2.4 tags, one MPEG frame
# holding an "Info" header with the count of frames, as encoders write it, and a second frame
# after it, which is how a reader knows the first is real; the rest of the file
# sparse, so that lengths of 2 to 7 minutes cost no disk), a tenth of
# them copies of earlier tracks with their tags retyped (case, a letter, a trailing space) and a
# length within a second. The scan reads every track's tags and length and compares them.
#   bash bench/audio.sh [COUNT]   (needs the release build; the tracks stay in $BENCH_DIR)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-20000}
root=${BENCH_DIR:-/tmp/zarnik-bench}/audio$count
zarnik=$PWD/build/release/src/cli/zarnik
if [ ! -d "$root" ]; then
  python3 - "$root" "$count" <<'PY'
import os, random, sys
root, count, rng = sys.argv[1], int(sys.argv[2]), random.Random(11)
syllables = ["ka", "lo", "mi", "ra", "su", "te", "vo", "ne", "pa", "di", "gu", "fo", "ze", "ri", "ba"]
def word():
    return "".join(rng.choice(syllables) for _ in range(rng.randint(2, 4)))
def phrase(low, high):
    return " ".join(word() for _ in range(rng.randint(low, high))).capitalize()
def frame(text_id, text):
    data = b"\x03" + text.encode()
    n = len(data)
    return text_id + bytes([0, 0, (n >> 7) & 0x7F, n & 0x7F, 0, 0]) + data
def retyped(text):
    choice = rng.randrange(3)
    if choice == 0:
        return text.upper()
    if choice == 1:
        return text + " "
    at = rng.randrange(len(text))
    return text[:at] + rng.choice("aeiou") + text[at + 1:]
artists = [phrase(1, 2) for _ in range(2000)]
albums = [phrase(1, 3) for _ in range(4000)]
tracks = []
for i in range(count):
    if tracks and rng.random() < 0.10:
        title, album, artist, seconds = rng.choice(tracks)
        title, seconds = retyped(title), seconds + rng.uniform(-1, 1)
    else:
        title, album, artist, seconds = phrase(2, 5), rng.choice(albums), rng.choice(artists), rng.uniform(120, 420)
        tracks.append((title, album, artist, seconds))
    payload = frame(b"TIT2", title) + frame(b"TALB", album) + frame(b"TPE1", artist)
    n = len(payload)
    header = b"ID3\x04\x00\x00\x00\x00" + bytes([(n >> 7) & 0x7F, n & 0x7F]) + payload
    folder = os.path.join(root, f"artist{i // 100}")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, f"track{i}.mp3")
    frames = int(seconds * 44100 / 1152)
    info = b"Info" + (3).to_bytes(4, "big") + frames.to_bytes(4, "big") + (frames * 417).to_bytes(4, "big")
    first = b"\xff\xfb\x90\x00" + bytes(32) + info  # 128 kbit/s, 44.1 kHz, stereo side data
    with open(path, "wb") as out:
        out.write(header + first + bytes(417 - len(first)) + b"\xff\xfb\x90\x00" + bytes([0x21]) * 413)
        out.truncate(len(header) + frames * 417)
PY
fi
work=$(mktemp -d /tmp/zarnik-audio-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
"$zarnik" scan -q --similar-audio --min-size 0 "$root" > /dev/null 2>&1  # warm the cache
best=999
for _ in 1 2 3; do
  s=$(date +%s.%N)
  "$zarnik" scan -q --similar-audio --min-size 0 "$root" > "$work/out" 2>/dev/null
  e=$(date +%s.%N)
  best=$(python3 -c "print(min($best, $e - $s))")
done
groups=$(grep -c '^Group' "$work/out" || true)
python3 -c "print(f'similar audio, $count tracks: {$best:.2f} s, {$count / $best:.0f} tracks/s, $groups groups')"
