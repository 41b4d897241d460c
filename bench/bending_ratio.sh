#!/bin/sh
# Bent against straight light in one run: the default scene at 1280x720 with light bending off
# and on, alternating, on 1 and 2 threads; prints each median and the ratio bent / straight.
# The machine's speed drifts between minutes, so only the ratios of one run are compared.
#   bench/bending_ratio.sh [--render build/bin/tavolin-render] [--size WxH] [--frames N]
render=build/bin/tavolin-render
size=1280x720
frames=5
while [ $# -gt 0 ]; do
    case "$1" in
        --render) render=$2; shift 2 ;;
        --size) size=$2; shift 2 ;;
        --frames) frames=$2; shift 2 ;;
        *) echo "usage: $0 [--render PATH] [--size WxH] [--frames N]" >&2; exit 1 ;;
    esac
done
scene=$(dirname "$render")/scenes/stonehenge.tavolin
median() {
    "$render" "$scene" --size "$size" --threads "$1" --light-bending "$2" --bench "$frames" |
        sed -n 's/.*median \([0-9.]*\).*/\1/p'
}
for threads in 1 2; do
    flat1=$(median "$threads" off); bent=$(median "$threads" on); flat2=$(median "$threads" off)
    awk -v t="$threads" -v a="$flat1" -v b="$bent" -v c="$flat2" -v s="$size" 'BEGIN {
        flat = (a + c) / 2
        printf "%s, %d thread(s): straight %.1f ms, bent %.1f ms, ratio %.2f\n", s, t, flat, b, b / flat
    }'
done
