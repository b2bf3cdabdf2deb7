#!/usr/bin/env bash
# Builds a debug build with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every test. GUI tests run offscreen, no display needed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset asan >/dev/null
cmake --build --preset asan
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build/asan --output-on-failure -j "$(nproc)"
