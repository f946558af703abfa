#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 60) from a seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
scripts/build.sh fuzz
mkdir -p fuzz/corpus-plist fuzz/corpus-rules fuzz/corpus-node fuzz/corpus-selection
# Seeds are generated, never committed.
printf '<plist><dict><key>CFBundleIdentifier</key><string>a.b</string><key>N</key><array><integer>1</integer><real>2.5</real><date>2001-01-01T00:00:00Z</date><data>AAE=</data></array></dict></plist>' > fuzz/corpus-plist/seed.xml
printf '{"exactMatchEnabled":true,"sizeThresholdOption":{"kind":"size","size":5},"exclusionRulesByPath":{"~/a/":{"isIgnored":true,"membershipMode":"Regular","pathsToEnumerate":["~/a/b/"]}}}' > fuzz/corpus-rules/seed.json
printf '{"$class":"ZKFileNode","type":"Image","location":{"relativePathComponents":["a","b.jpg"],"abbreviatedPathComponents":["~","a","b.jpg"],"scanLocation":{"abbreviatedPath":"~/","pathComponents":["/","home"]}},"attributes":{"vnodeType":1,"dateOfCreation":1,"dateOfModification":2,"exactSize":3},"content":{"exactFileHashData":"00ff"}}' > fuzz/corpus-node/seed.json
printf '{"strategy":"Automatic","originalID":1,"selectedIDs":[2,3]}' > fuzz/corpus-selection/configuration.json
printf '{"identifier":"SameSoftware","payload":"Photos"}' > fuzz/corpus-selection/rule.json
printf '["Name","DateOfModification"]' > fuzz/corpus-selection/differences.json
printf '{"cleaningOption":{"kind":"moveToFolder","folder":"/x"},"overridenCleaningOptionByVolumePath":{"/":{"kind":"moveToTrash"}}}' > fuzz/corpus-selection/cleaning.json
printf '{"neverSelectPaths":["~/a"],"smartSelectionRuleInfos":[{"rule":{"identifier":"NonLoved"},"isEnabled":true}]}' > fuzz/corpus-selection/rules.json
for pair in property_list_fuzzer:corpus-plist scan_rules_json_fuzzer:corpus-rules node_archive_fuzzer:corpus-node selection_json_fuzzer:corpus-selection; do
  target=${pair%%:*}
  corpus=fuzz/${pair##*:}
  echo "fuzz: $target for ${seconds}s" >&2
  "build/fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=65536 "$corpus" 2>&1 | tail -n 3
done
