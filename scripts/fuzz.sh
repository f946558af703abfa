#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 60) from a seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
scripts/build.sh fuzz
mkdir -p fuzz/corpus-note fuzz/corpus-wal fuzz/corpus-signature fuzz/corpus-plist fuzz/corpus-rules fuzz/corpus-node fuzz/corpus-selection fuzz/corpus-store fuzz/corpus-records fuzz/corpus-picture fuzz/corpus-audio fuzz/corpus-digest-cache fuzz/corpus-small-digests fuzz/corpus-settings fuzz/corpus-monitor fuzz/corpus-statistics fuzz/corpus-predicate fuzz/corpus-rhythmdb fuzz/corpus-music-list fuzz/corpus-photo-db fuzz/corpus-glob
# Seeds are generated, never committed.
printf '<plist><dict><key>CFBundleIdentifier</key><string>a.b</string><key>N</key><array><integer>1</integer><real>2.5</real><date>2001-01-01T00:00:00Z</date><data>AAE=</data></array></dict></plist>' > fuzz/corpus-plist/seed.xml
printf '{"exactMatchEnabled":true,"sizeThresholdOption":{"kind":"size","size":5},"exclusionRulesByPath":{"~/a/":{"isIgnored":true,"membershipMode":"Regular","pathsToEnumerate":["~/a/b/"]}}}' > fuzz/corpus-rules/seed.json
printf '{"$class":"ZKFileNode","type":"Image","location":{"relativePathComponents":["a","b.jpg"],"abbreviatedPathComponents":["~","a","b.jpg"],"scanLocation":{"abbreviatedPath":"~/","pathComponents":["/","home"]}},"attributes":{"vnodeType":1,"dateOfCreation":1,"dateOfModification":2,"exactSize":3},"content":{"exactFileHashData":"00ff"}}' > fuzz/corpus-node/seed.json
printf '{"strategy":"Automatic","originalID":1,"selectedIDs":[2,3]}' > fuzz/corpus-selection/configuration.json
printf '{"identifier":"SameSoftware","payload":"Photos"}' > fuzz/corpus-selection/rule.json
printf '["Name","DateOfModification"]' > fuzz/corpus-selection/differences.json
printf '{"cleaningOption":{"kind":"moveToFolder","folder":"/x"},"overridenCleaningOptionByVolumePath":{"/":{"kind":"moveToTrash"}}}' > fuzz/corpus-selection/cleaning.json
printf '{"neverSelectPaths":["~/a"],"smartSelectionRuleInfos":[{"rule":{"identifier":"NonLoved"},"isEnabled":true}]}' > fuzz/corpus-selection/rules.json
printf '{"$class":"DuplicateDifferences","value":{"flags":3,"hardLinkedGroup":2,"autoselectionMode":{"mode":"neverSelect","reason":"hardLinked"}}}' > fuzz/corpus-records/differences.json
printf '{"locations":["/home/a/Downloads"],"paused":false,"reviewedUntil":1765000000.5,"ignoredCopies":["/home/a/Downloads/b (copy).pdf"]}' > fuzz/corpus-monitor/requests.json
printf '{"processId":12,"state":"monitoring","locations":["/x"],"recentDuplicates":{"new":1,"latest":[{"id":1,"path":"/x/a","size":5}]},"notice":"n"}' > fuzz/corpus-monitor/status.json
printf '{"$class":"ReviewingStatus","resultsState":{"$class":"DuplicatesDetectionResultsState","activityLogIdentifierAutoincrement":4,"usedSizeThreshold":1024,"dateOfDetection":5}}' > fuzz/corpus-records/status.json
printf '{"$class":"ScanLocationViewModel","scanLocation":{"$class":"ScanLocation","abbreviatedPath":"~/a/","pathComponents":["/","home","a"]},"filter":{"imagesOnly":true,"minimumSize":9},"customName":"A"}' > fuzz/corpus-records/location.json
printf '{"$class":"ZKFileNode","type":"Image","location":{"relativePathComponents":["b.jpg"],"scanLocation":{"$class":"ScanLocationSubstitution","index":0}},"attributes":{"vnodeType":1,"dateOfCreation":1,"dateOfModification":2,"exactSize":3}}' > fuzz/corpus-records/node.json
# A real results store: a scan of a small tree and a selection change, made by this build.
seed=$(mktemp -d)
mkdir -p "$seed/tree/a" "$seed/tree/b"
printf 'pair' > "$seed/tree/a/x"; printf 'pair' > "$seed/tree/b/x copy"
printf 'other' > "$seed/tree/a/y"; printf 'other' > "$seed/tree/b/y"
export_seed() { XDG_DATA_HOME="$seed/data" XDG_STATE_HOME="$seed" HOME="$seed" build/fuzz/src/cli/zarnik "$@" >/dev/null 2>&1; }
export_seed scan -q --min-size 0 "$seed/tree"
export_seed select --group 1 --strategy none
export_seed results  # ends normally, so that the store's log is folded into the file
cp "$seed/data/zarnik/session/duplicates.db" fuzz/corpus-store/seed.db
rm -rf "$seed"
printf '{"developerMode":true,"mixedPreferences":{"lastPreferencesMigrationAtVersionString":"2.2.5","schedulePeriodOption":"weekly","lastScanDate":1.5e9,"detailedScanResultsWindowSize":{"width":800,"height":600}},"scanRules":{"sizeThresholdOption":5000,"nodeNameRegExpByMembershipMode":{"Regular":["^~"]}},"cleaningRules":{"cleaningOption":{"kind":"moveToFolder","folder":"/x"}},"unknown":[1,{"a":null}]}' > fuzz/corpus-settings/seed.json
printf 'ID3\4\0\0\0\0\0\4TIT2\377\373\220\0framesTAGtitle' > fuzz/corpus-audio/seed.mp3
printf 'fLaC\200\0\0\4infosamples' > fuzz/corpus-audio/seed.flac
printf 'RIFF\40\0\0\0WAVEfmt \4\0\0\0fmt data\4\0\0\0data' > fuzz/corpus-audio/seed.wav
printf '{"$class":"ZKCleaningNote","cleanID":2,"date":1,"originalPath":"/a/b copy","option":{"kind":"moveToTrash"},"pending":true,"actions":[],"reverted":false,"stagedPath":"/a/.zarnik-staged-2-5","copyIdentity":"0100000000000000ff00000000000000","digest":"00112233445566778899aabbccddeeff00112233","size":4,"metadata":{"mode":420,"owner":0,"group":0,"extendedAttributes":[{"name":"user.x","value":"6869"}]},"folders":[{"path":"/a","metadata":{"mode":493,"owner":0,"group":0,"extendedAttributes":[]}}]}' > fuzz/corpus-note/seed.json
printf '\067\177\006\202\000\055\342\030\000\000\020\000' > fuzz/corpus-wal/seed-wal
printf '\211PNG\r\n\032\n\000\000\000\rIHDR\000\000\001\000\000\000\000\200' > fuzz/corpus-signature/seed.png
printf '\377\330\377\340\000\020JFIF' > fuzz/corpus-signature/seed.jpg
printf '<?xml version="1.0"?>\n<plist version="1.0"><dict><key>$class</key><string>StatisticianStore</string><key>version</key><integer>1</integer><key>cleanedSize</key><integer>5</integer><key>searchUsed</key><true/><key>cheatingAchievementIdentifiers</key><array><string>first-scan</string></array></dict></plist>' > fuzz/corpus-statistics/seed.plist
printf '\013*.so.[0-9]*libz.SO.1.2' > fuzz/corpus-glob/library
printf '\007*.[1-9]LS.1' > fuzz/corpus-glob/manual
printf 'numberOfFinishedCleans >= 5 AND (lastCleanupCompleteSuccessfully OR NOT searchUsed) || cleanedSize != 1073741824' > fuzz/corpus-predicate/seed.txt
printf '<?xml version="1.0"?>\n<rhythmdb version="2.0"><entry type="song"><title>A &amp; B</title><duration>12</duration><rating>4</rating><location>file:///m/a%%20b.mp3</location></entry><entry type="iradio"><location>http://x</location></entry></rhythmdb>' > fuzz/corpus-rhythmdb/seed.xml
printf '<?xml version="1.0"?>\n<plist version="1.0"><dict><key>Music Folder</key><string>file://localhost/m/</string><key>Tracks</key><dict><key>1</key><dict><key>Track ID</key><integer>1</integer><key>Persistent ID</key><string>0A</string><key>Total Time</key><integer>1000</integer><key>Location</key><string>file://localhost/m/a.mp3</string></dict></dict></dict></plist>' > fuzz/corpus-music-list/seed.xml
# A Shotwell database and a Photos library database, small, made by Python's SQLite module.
python3 - fuzz/corpus-photo-db <<'PY'
import os, sqlite3, sys
def make(name, script):
    path = os.path.join(sys.argv[1], name)
    if os.path.exists(path): os.remove(path)
    with sqlite3.connect(path) as db: db.executescript(script)
make("shotwell.db", "CREATE TABLE PhotoTable (id INTEGER PRIMARY KEY, filename TEXT, width INTEGER, height INTEGER, timestamp INTEGER, exposure_time INTEGER, rating INTEGER, title TEXT);"
     "INSERT INTO PhotoTable VALUES (1, '/p/a.jpg', 4, 3, 1, 2, 5, 'A'), (2, 'b.jpg', 1, 1, 1, 0, -1, '');"
     "CREATE TABLE VideoTable (id INTEGER PRIMARY KEY, filename TEXT, width INTEGER, height INTEGER, timestamp INTEGER, exposure_time INTEGER, rating INTEGER, title TEXT);")
make("photos.db", "CREATE TABLE RKMaster (modelId INTEGER PRIMARY KEY, uuid TEXT, imagePath TEXT, isInTrash INTEGER);"
     "CREATE TABLE RKVersion (modelId INTEGER PRIMARY KEY, uuid TEXT, masterUuid TEXT, name TEXT, isInTrash INTEGER);"
     "INSERT INTO RKMaster VALUES (1, 'M1', '2019/a.jpg', 0), (2, 'M2', '../b.jpg', 0);"
     "INSERT INTO RKVersion VALUES (1, 'V1', 'M1', 'A', 0), (2, 'V2', 'M1', 'A2', 0), (3, 'V3', 'M2', 'B', 1);")
PY
# Small pictures of the common formats, made by libvips' own tool when it is installed.
if command -v vips >/dev/null; then
  vips black fuzz/corpus-picture/black.png 140 40 --bands 3
  for format in jpg gif webp tif; do vips copy fuzz/corpus-picture/black.png "fuzz/corpus-picture/black.$format" 2>/dev/null || true; done
fi
for entry in property_list_fuzzer:corpus-plist:65536 scan_rules_json_fuzzer:corpus-rules:65536 \
             node_archive_fuzzer:corpus-node:65536 selection_json_fuzzer:corpus-selection:65536 \
             stored_records_fuzzer:corpus-records:65536 store_file_fuzzer:corpus-store:1048576 \
             picture_fuzzer:corpus-picture:65536 audio_data_fuzzer:corpus-audio:4096 \
             cleaning_note_fuzzer:corpus-note:65536 write_ahead_log_fuzzer:corpus-wal:262144 \
             picture_signature_fuzzer:corpus-signature:256 digest_cache_fuzzer:corpus-digest-cache:65536 small_file_digest_table_fuzzer:corpus-small-digests:65536 \
             settings_reader_fuzzer:corpus-settings:65536 monitor_files_fuzzer:corpus-monitor:65536 \
             statistics_file_fuzzer:corpus-statistics:65536 predicate_fuzzer:corpus-predicate:8192 \
             rhythmbox_database_fuzzer:corpus-rhythmdb:65536 music_library_list_fuzzer:corpus-music-list:65536 \
             photo_library_database_fuzzer:corpus-photo-db:65536 glob_filter_fuzzer:corpus-glob:512; do
  IFS=: read -r target corpus length <<< "$entry"
  echo "fuzz: $target for ${seconds}s" >&2
  "build/fuzz/fuzz/$target" -max_total_time="$seconds" -max_len="$length" "fuzz/$corpus" 2>&1 | tail -n 3
done
