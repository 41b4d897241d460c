#!/usr/bin/env bash
# Instructions per ray of whole frames, counted by valgrind's callgrind on one render thread:
# the count of a run with two timed frames minus that of a run with one, divided by the pixels.
# Unlike wall-clock times this does not drift with the machine's load, so two builds can be
# compared at any time (it does not count cache misses or division latency, though).
#
# usage: bench/count_instructions.sh [--size WxH] [--scenes "A.tavolin ..."] [--betas "0 0.9"]
#                                    [--bundles "4 2"] RENDER [RENDER ...]
# Prints a Markdown table with one column per tavolin-render binary given.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
size=640x360
scenes="$repo/resources/scenes/stonehenge.tavolin $(ls "$repo"/tests/data/*.tavolin | tr '\n' ' ')"
betas="0 0.9"
bundles="4 2"
while [ $# -gt 0 ]; do
    case "$1" in
        --size) size=$2; shift 2 ;;
        --scenes) scenes=$2; shift 2 ;;
        --betas) betas=$2; shift 2 ;;
        --bundles) bundles=$2; shift 2 ;;
        -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
        *) break ;;
    esac
done
[ $# -ge 1 ] || { echo "give at least one tavolin-render binary" >&2; exit 1; }
command -v valgrind >/dev/null || { echo "valgrind is needed" >&2; exit 1; }
pixels=$(( ${size%x*} * ${size#*x} ))

count() {  # render scene beta bundle frames
    local path n
    path=$(readlink -f "$1")
    n=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$path" "$2" --size "$size" \
        --speed "$3" --bundle "$4" --threads 1 --bench "$5" 2>&1 | sed -n 's/.*refs: *//p' | tr -d ',')
    [ -n "$n" ] || { echo "no count from $1 on $2" >&2; exit 1; }
    echo "$n"
}

header="| scene | beta | packet |"
rule="|---|---|---|"
for render in "$@"; do
    header="$header $render |"
    rule="$rule---|"
done
echo "$header"
echo "$rule"
for scene in $scenes; do
    for beta in $betas; do
        for bundle in $bundles; do
            row="| $(basename "$scene" .tavolin) | $beta | ${bundle}x$bundle |"
            for render in "$@"; do
                one=$(count "$render" "$scene" "$beta" "$bundle" 1)
                two=$(count "$render" "$scene" "$beta" "$bundle" 2)
                row="$row $(( (two - one) / pixels )) |"
            done
            echo "$row"
        done
    done
done
