#!/usr/bin/env bash
# A small tree of every kind of group, scanned with every kind on: made-up photos with a
# recompressed copy, a copy turned a quarter and a shrunk copy; MP3 tracks with the same audio
# under other tags and a track with close tags and length; a folder and its copy.
#   bash bench/media_tree.sh [DIR]   (needs the release and bench builds; DIR is made anew)
set -euo pipefail
cd "$(dirname "$0")/.."
root=${1:-/tmp/zarnik-media-tree}
zarnik=$PWD/build/release/src/cli/zarnik
pictures=$PWD/build/bench/bench/picture_bench
rm -rf "$root"
mkdir -p "$root/photos" "$root/music" "$root/docs" "$root/backup"
"$pictures" generate "$root/photos" 6 1600 1200  # every third is a copy of an earlier one at a lower quality
vips rot "$root/photos/picture0.jpg" "$root/photos/picture0-turned.jpg" d90
vipsthumbnail "$root/photos/picture1.jpg" -s 800 -o "$root/photos/picture1-small.jpg"
python3 - "$root/music" <<'PY'
import os, sys
folder = sys.argv[1]
def tag(title, album, artist):
    payload = b""
    for frame_id, text in ((b"TIT2", title), (b"TALB", album), (b"TPE1", artist)):
        data = b"\x03" + text.encode()
        n = len(data)
        payload += frame_id + bytes([0, 0, (n >> 7) & 0x7F, n & 0x7F, 0, 0]) + data
    n = len(payload)
    return b"ID3\x04\x00\x00\x00\x00" + bytes([(n >> 7) & 0x7F, n & 0x7F]) + payload
def frames(count, fill):
    return (b"\xff\xfb\x90\x00" + bytes([fill]) * 413) * count
audio = frames(300, 0x21)
for name, tags, data in (("song.mp3", ("Blue Moon", "Songs", "Someone"), audio),
                         ("song retagged.mp3", ("A song with another title", "Live", "Nobody"), audio),
                         ("song live.mp3", ("blue moon ", "Songs", "Someone"), frames(312, 0x33))):
    with open(os.path.join(folder, name), "wb") as out:
        out.write(tag(*tags) + data)
PY
printf 'minutes of the meeting\n' > "$root/docs/minutes.txt"
printf 'budget for next year\n' > "$root/docs/budget.txt"
cp -a "$root/docs" "$root/backup/docs backup"
work=$(mktemp -d /tmp/zarnik-media-XXXXXX)
trap 'rm -rf "$work"' EXIT
HOME="$work" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" "$zarnik" scan -q --min-size 0 "$root"
