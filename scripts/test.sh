#!/usr/bin/env bash
# Builds Tavolin and runs every test (core tests headless, widget tests under Xvfb).
# usage: scripts/test.sh [BUILD_DIR] [extra cmake options...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/deps.sh"

build=${1:-$here/build}
shift || true
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build "$build" -j "$jobs"

# A private runtime folder keeps Qt quiet when tests run as root.
export XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
cd "$build"
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -j "$jobs"
