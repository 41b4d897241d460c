#!/bin/sh
# Moving bodies against bodies at rest: writes the two scenes of moving_bench (10,000 spheres at
# rest and 1,000 bodies flying at 0.5c to 0.95c, or the 1,000 at rest) and runs it. Compare the
# CPU column of BM_Moving with the mean of the two BM_Still rows of the same arguments
# (light travel time, flying, threads).
#   bench/moving_ratio.sh [BUILD_DIR]   (default build; needs TAVOLIN_BENCH=ON)
build=${1:-build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$build/bin/make_scene" 10000 0 1000 > "$dir/moving.tavolin" || exit 1
"$build/bin/make_scene" 10000 0 1000 still > "$dir/still.tavolin" || exit 1
TAVOLIN_MOVING_SCENE="$dir/moving.tavolin" TAVOLIN_STILL_SCENE="$dir/still.tavolin" \
    "$build/bin/moving_bench" --benchmark_min_time=2
