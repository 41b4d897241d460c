#!/usr/bin/env bash
# Whole-frame throughput of tavolin-render against Intel Embree 3.13 tracing the same camera rays
# (trace only, no shading), measured in one session with the two interleaved, because this
# machine's speed drifts by 20 % or more between minutes: compare the ratios, not the Mrays/s.
#
# usage: bench/compare_embree.sh [--render PATH] [--embree PATH] [--frames N] [--size WxH]
#                                [--scenes "A.tavolin B.tavolin"] [--no-default] [--pairs N]
#                                [--pin CPU]
#   --render   tavolin-render to measure (default: $TAVOLIN_RENDER, else build/bin/tavolin-render)
#   --embree   the shared Embree reference script (default: $EMBREE_SCRIPT, else
#              ../shared/bench/run_embree.sh relative to the repository)
#   --scenes   scenes to compare (default: every scene in the bench-scenes folder beside the
#              reference script's folder)
#   --pairs    measure each configuration N times as a pair, Embree then tavolin-render, and
#              print the median of the pairs' ratios with their range: a change of the
#              machine's speed then spoils one pair, not a whole column
#   --pin      run the one-thread configurations of both on processor CPU (taskset): on a
#              virtual machine one processor can be much slower than the other, and a thread
#              that lands on either at random makes the timings two-valued
# For each scene it runs Embree (rtcIntersect16 for 4x4 packets, rtcIntersect4 for 2x2; 1 and 2
# threads; beta 0 and 0.9), then tavolin-render --bench with the same settings, then Embree again,
# and prints a Markdown table of the ratios against the mean of the two Embree runs. (With 2x2
# packets tavolin-render walks four packets side by side as one bundle of sixteen rays, so the
# 2x2 rows compare the program's setting, not walks of the same width.) Then it times
# the default scene at 1280x720 (frames per second, one and two threads).
# Not used by CI.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
render=${TAVOLIN_RENDER:-$repo/build/bin/tavolin-render}
embree=${EMBREE_SCRIPT:-$repo/../shared/bench/run_embree.sh}
frames=7
size=1920x1080
scenes=""
withDefault=1
pairs=0
pin=""
while [ $# -gt 0 ]; do
    case "$1" in
        --render) render=$2; shift 2 ;;
        --embree) embree=$2; shift 2 ;;
        --frames) frames=$2; shift 2 ;;
        --size) size=$2; shift 2 ;;
        --scenes) scenes=$2; shift 2 ;;
        --no-default) withDefault=0; shift ;;
        --pairs) pairs=$2; shift 2 ;;
        --pin) pin=$2; shift 2 ;;
        -h|--help) sed -n '2,26p' "$0"; exit 0 ;;
        *) echo "unknown argument $1" >&2; exit 1 ;;
    esac
done
[ -x "$render" ] || { echo "no tavolin-render at $render (give --render)" >&2; exit 1; }
[ -f "$embree" ] || { echo "no Embree reference script at $embree (give --embree)" >&2; exit 1; }
embreeDir=$(cd "$(dirname "$embree")" && pwd)
if [ -z "$scenes" ]; then scenes=$(ls "$embreeDir"/../bench-scenes/*.tavolin); fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The reference script builds its harness and runs it. Where the whole harness does not build
# (one of its extra tools needs AVX-512), the benchmark target alone is built from the same
# sources and run with the same options.
harness=${TMPDIR:-/tmp}/tavolin-embree-build/embree_bench
useScript=1
runEmbree() {  # scene csv
    if [ "$useScript" = 1 ] && FRAMES=$frames bash "$embree" --size "$size" --modes 4,16 \
        --threads 1,2 --betas 0,0.9 --csv "$2" "$1" >/dev/null 2>&1; then
        return
    fi
    useScript=0
    if [ ! -x "$harness" ]; then
        cmake -S "$embreeDir/embree" -B "$(dirname "$harness")" -DCMAKE_BUILD_TYPE=Release >/dev/null
        cmake --build "$(dirname "$harness")" --target embree_bench -j2 >/dev/null
    fi
    "$harness" --frames "$frames" --size "$size" --spheres user --modes 4,16 --threads 1,2 \
        --betas 0,0.9 --csv "$2" "$1" >/dev/null
}

# Mrays/s of one Embree configuration (mode, threads, beta) from a harness CSV.
embreeRate() {  # csv mode threads beta
    awk -F, -v m="$2" -v t="$3" -v b="$4" 'NR > 1 && $8 == m && $9 == t && $7 + 0 == b + 0 { print $15 }' "$1"
}

# The command prefix that pins a run of the given thread count (--pin; one thread only).
pinned() {  # threads
    if [ -n "$pin" ] && [ "$1" = 1 ]; then echo "taskset -c $pin"; fi
}

ourRate() {  # scene bundle threads beta
    $(pinned "$3") "$render" "$1" --size "$size" --bundle "$2" --threads "$3" --speed "$4" --bench "$frames" |
        sed -n 's/.*Mrays\/s: \([0-9.]*\).*/\1/p'
}

# Pairs: one configuration at a time, the harness run on its own (built here if need be).
if [ "$pairs" -gt 0 ]; then
    if [ ! -x "$harness" ]; then
        cmake -S "$embreeDir/embree" -B "$(dirname "$harness")" -DCMAKE_BUILD_TYPE=Release >/dev/null
        cmake --build "$(dirname "$harness")" --target embree_bench -j2 >/dev/null
    fi
    echo "| scene | beta | packet | threads | ratio, median of $pairs pairs | range |"
    echo "|---|---|---|---|---|---|"
    for scene in $scenes; do
        name=$(basename "$scene" .tavolin)
        for beta in 0 0.9; do
            for bundle in 4 2; do
                for threads in 1 2; do
                    ratios=""
                    for ((i = 0; i < pairs; ++i)); do
                        $(pinned "$threads") "$harness" --frames "$frames" --size "$size" --spheres user \
                            --modes $((bundle * bundle)) --threads "$threads" --betas "$beta" \
                            --csv "$work/p.csv" "$scene" >/dev/null
                        e=$(embreeRate "$work/p.csv" $((bundle * bundle)) "$threads" "$beta")
                        t=$(ourRate "$scene" "$bundle" "$threads" "$beta")
                        ratios="$ratios $(awk -v e="$e" -v t="$t" 'BEGIN { print t / e }')"
                    done
                    echo "$ratios" | tr ' ' '\n' | sed '/^$/d' | sort -g |
                        awk -v n="$name" -v be="$beta" -v p="${bundle}x$bundle" -v th="$threads" \
                            '{ r[NR] = $1 } END {
                                m = NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2
                                printf "| %s | %s | %s | %s | %.2f | %.2f to %.2f |\n", n, be, p, th, m, r[1], r[NR] }'
                done
            done
        done
    done
    exit 0
fi

echo "| scene | beta | packet | threads | Embree Mrays/s | Tavolin Mrays/s | ratio |"
echo "|---|---|---|---|---|---|---|"
for scene in $scenes; do
    name=$(basename "$scene" .tavolin)
    runEmbree "$scene" "$work/a.csv"
    declare -A ours=()
    for beta in 0 0.9; do
        for bundle in 4 2; do
            for threads in 1 2; do
                ours[$beta,$bundle,$threads]=$(ourRate "$scene" "$bundle" "$threads" "$beta")
            done
        done
    done
    runEmbree "$scene" "$work/b.csv"
    for beta in 0 0.9; do
        for bundle in 4 2; do
            mode=$((bundle * bundle))
            for threads in 1 2; do
                a=$(embreeRate "$work/a.csv" "$mode" "$threads" "$beta")
                b=$(embreeRate "$work/b.csv" "$mode" "$threads" "$beta")
                t=${ours[$beta,$bundle,$threads]}
                awk -v n="$name" -v be="$beta" -v p="${bundle}x$bundle" -v th="$threads" \
                    -v a="$a" -v b="$b" -v t="$t" 'BEGIN {
                        e = (a + b) / 2;
                        printf "| %s | %s | %s | %s | %.1f | %.1f | %.2f |\n", n, be, p, th, e, t, t / e }'
            done
        done
    done
    unset ours
done

if [ "$withDefault" = 1 ]; then
    echo
    echo "| default scene 1280x720, 4x4 packets | frames per second |"
    echo "|---|---|"
    for threads in 1 2; do
        ms=$("$render" --size 1280x720 --bundle 4 --threads "$threads" --bench "$frames" |
            sed -n 's/.*median \([0-9.]*\).*/\1/p')
        awk -v th="$threads" -v ms="$ms" 'BEGIN { printf "| %s thread(s) | %.1f |\n", th, 1000 / ms }'
    done
fi
