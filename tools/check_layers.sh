#!/usr/bin/env bash
# Fails when a subsystem includes a header of a subsystem above it (the order is the link order:
# each folder may include only itself and the folders listed before it), or when code outside
# src/platform includes the kernel's interface headers: system calls live in the Linux layer.
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
kernel_headers='#include <(sys/[a-z_]+\.h|unistd\.h|fcntl\.h|dirent\.h|poll\.h|signal\.h)>'
if hits=$(grep -rnE "$kernel_headers" --exclude-dir=platform .); then
  echo "layering: system calls belong in src/platform:" >&2
  echo "$hits" >&2
  status=1
fi
calls='(^|[^A-Za-z0-9_:.>])::(open|openat|close|read|pread|write|pwrite|stat|fstat|lstat|statx|access|unlink|rename|mkdir|rmdir|readlink|symlink|link|ioctl|poll|isatty|realpath|getcwd|mmap|fsync|fcntl)\('
if hits=$(grep -rnE "$calls" --exclude-dir=platform .); then
  echo "layering: system calls belong in src/platform:" >&2
  echo "$hits" >&2
  status=1
fi
exit $status
