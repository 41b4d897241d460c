#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan included) and runs each one
# for SECONDS (default 60) on a copy of its seed corpus. Fails when any target finds a crash, a
# hang, a leak or a sanitizer report; the input that did it is kept under the build folder.
# usage: fuzz/run.sh [SECONDS]    (FUZZ_BUILD_DIR chooses the build folder)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-$here/build-fuzz}

"$here/scripts/deps.sh" --fuzz

targets=()
for source in "$here"/fuzz/*_fuzz.cpp; do
    target=$(basename "$source" .cpp)
    # The fly-path target needs the fly-path file reader (as fuzz/CMakeLists.txt decides).
    [[ "$target" == flypath* ]] && [ ! -f "$here/engine/flypathfile.h" ] && continue
    targets+=("$target")
done

# -O1 with line tables: quick to build, and every report names file and line.
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Fuzz \
    "-DCMAKE_CXX_FLAGS=-O1 -gline-tables-only -DNDEBUG" -DTAVOLIN_FUZZ=ON -DTAVOLIN_GUI=OFF \
    -DTAVOLIN_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen

passed=0
failed=0
summary=()
for target in "${targets[@]}"; do
    name=${target%_fuzz}
    seeds="$here/fuzz/corpus/$name"
    work="$build/fuzz-corpus/$name"
    artifacts="$build/fuzz-artifacts/$name"
    mkdir -p "$work" "$artifacts" "$seeds"
    options=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1
             -artifact_prefix="$artifacts/")
    [ -f "$here/fuzz/$name.dict" ] && options+=(-dict="$here/fuzz/$name.dict")
    log="$build/fuzz-$name.log"
    echo "== $target: ${seconds} s"
    start=$(date +%s)
    if "$build/bin/$target" "${options[@]}" "$work" "$seeds" >"$log" 2>&1; then
        passed=$((passed + 1))
        result=ok
    else
        failed=$((failed + 1))
        result=FAILED
        grep -E "ERROR|runtime error|SUMMARY|Test unit written|==[0-9]+==" "$log" | head -40 || true
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    units=$(find "$work" -type f | wc -l)
    summary+=("$target: $result, ${runs:-?} executions in $(( $(date +%s) - start )) s, corpus $units new + $(find "$seeds" -type f | wc -l) seeds")
done

printf '%s\n' "${summary[@]}"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
