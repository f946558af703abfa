#!/usr/bin/env bash
# Fails when a subsystem includes a header of a subsystem above it. The order is the link order:
# each folder may include only itself and the folders listed before it.
set -euo pipefail
cd "$(dirname "$0")/../src"
layers=(base platform foundation file_model matching enumeration selection store scanning cleaning
        statistics preferences detection monitor cli gui)
status=0
for i in "${!layers[@]}"; do
  layer=${layers[$i]}
  [ -d "$layer" ] || continue
  forbidden=("${layers[@]:$((i + 1))}")
  [ ${#forbidden[@]} -eq 0 ] && continue
  pattern="#include \"($(IFS='|'; echo "${forbidden[*]}"))/"
  if hits=$(grep -rnE "$pattern" "$layer"); then
    echo "layering: $layer includes a higher layer:" >&2
    echo "$hits" >&2
    status=1
  fi
done
exit $status
