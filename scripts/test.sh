#!/usr/bin/env bash
# Installs what is missing, builds from scratch and runs the whole suite.
#   scripts/test.sh [BUILD_DIR] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
build=${1:-build}
shift || true
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
# "long" tests write files of several GiB; run them by hand with -L long.
ctest --test-dir "$build" -LE long --output-on-failure -j"$(nproc)"
