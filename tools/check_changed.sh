#!/usr/bin/env bash
# Format and lint check of the C++ sources changed since BASE (default: the commit before the
# last one, HEAD~1; a session's work is checked against where it began with
# ZARNIK_CHECK_BASE=<commit>): each must be as clang-format writes it and draw no clang-tidy
# warning. Only changed files are checked, so a file is tidied when it is next touched.
#   tools/check_changed.sh [BUILD_DIR]      (BUILD_DIR holds compile_commands.json: build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
base=${ZARNIK_CHECK_BASE:-HEAD~1}
git rev-parse --verify -q "$base^{commit}" > /dev/null || { echo "check: no commit $base, nothing to compare" >&2; exit 0; }
mapfile -t files < <(git diff --name-only --diff-filter=d "$base" -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h')
[ ${#files[@]} -gt 0 ] || { echo "check: no C++ source changed since $base"; exit 0; }
status=0
for file in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$file" 2> /dev/null; then
    echo "check: $file is not formatted (clang-format -i $file)" >&2
    status=1
  fi
done
mapfile -t sources < <(printf '%s\n' "${files[@]}" | grep '\.cpp$' || true)
if [ ${#sources[@]} -gt 0 ] && [ -f "$build/compile_commands.json" ]; then
  if ! output=$(clang-tidy -p "$build" --quiet --warnings-as-errors='*' "${sources[@]}" 2>&1); then
    grep -v "warnings generated" <<< "$output" >&2
    status=1
  fi
fi
[ $status -eq 0 ] && echo "check: ${#files[@]} changed files formatted and tidy"
exit $status
