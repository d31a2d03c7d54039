#!/usr/bin/env bash
# Configures and builds Lumivex into a build folder.
#
# usage: scripts/build.sh BUILD_DIR [extra cmake options...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$1
shift
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "$@"
cmake --build "$build" --parallel "$(nproc)"
