#!/usr/bin/env bash
# Builds a release build of Tolvane and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
exec build/release/src/app/tolvane "$@"
