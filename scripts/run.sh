#!/usr/bin/env bash
# Sets up what is missing, builds Lumivex and starts it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build" -DBUILD_TESTING=OFF -DLUMIVEX_BUILD_BENCHMARKS=OFF
exec "$root/build/src/app/lumivex"
