#!/usr/bin/env bash
# Builds Tavolin and starts it on the default scene. Without a display it renders the default
# scene with the headless renderer instead and says where the picture is.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/deps.sh"

build=${BUILD_DIR:-$here/build}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$build/bin/tavolin" ]; then
    exec "$build/bin/tavolin" "$@"
fi
if [ -x "$build/bin/tavolin-render" ]; then
    out=${TAVOLIN_OUTPUT:-$PWD/tavolin.png}
    "$build/bin/tavolin-render" -o "$out" "$@"
    echo "No display found: rendered the default scene to $out"
    exit 0
fi
echo "Built in $build. The program and the headless renderer are not part of this build yet."
