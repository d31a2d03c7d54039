#!/usr/bin/env bash
# Checks the house style: every tracked C++ file is formatted as the
# committed .clang-format says, and clang-tidy finds nothing with the
# committed .clang-tidy.
#
# usage: scripts/check-style.sh BUILD_DIR
#   BUILD_DIR  a build of the whole project (its compile_commands.json and
#              generated sources are what clang-tidy reads)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "$1" && pwd)
"$root/scripts/setup.sh" --style
cd "$root"

mapfile -t sources < <(git ls-files -- '*.cpp' '*.h')
echo "clang-format: ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}"

# The translation units of our own code that the build compiled; headers are
# checked through them (HeaderFilterRegex in .clang-tidy).
mapfile -t units < <(python3 - "$build/compile_commands.json" "$root" <<'PY'
import json, os, sys
root = os.path.realpath(sys.argv[2])
seen = set()
for entry in json.load(open(sys.argv[1])):
    path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    rel = os.path.relpath(path, root)
    if rel.split(os.sep)[0] in ("src", "tests", "bench", "resources") and path not in seen:
        seen.add(path)
        print(path)
PY
)
echo "clang-tidy: ${#units[@]} translation units"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
printf '%s\0' "${units[@]}" |
    xargs -0 -n 4 -P "$(nproc)" clang-tidy -p "$build" --quiet --warnings-as-errors="*" \
        >"$log" 2>&1 || status=$?
grep -v ' warnings generated\.$' "$log" || true
if ((status != 0)); then
    echo "style: clang-tidy findings above" >&2
    exit 1
fi
echo "style: clean"
