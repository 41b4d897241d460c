#!/bin/sh
# The starry sky's cost in one run: the default scene at 1280x720 on 2 threads, with straight
# and with bent light, each without and with the sky (alternating, the sky-less runs averaged
# around the sky run); prints the medians and the ratio with / without, of the wall time and
# of the processor time of all threads. Compare only the ratios of one run (see
# bending_ratio.sh on a shared machine).
#   bench/sky_ratio.sh [--render build/bin/tavolin-render] [--size WxH] [--frames N]
#                      [--threads N] [--scene FILE]
render=build/bin/tavolin-render
size=1280x720
frames=5
threads=2
scene=
while [ $# -gt 0 ]; do
    case "$1" in
        --render) render=$2; shift 2 ;;
        --size) size=$2; shift 2 ;;
        --frames) frames=$2; shift 2 ;;
        --threads) threads=$2; shift 2 ;;
        --scene) scene=$2; shift 2 ;;
        *) echo "usage: $0 [--render PATH] [--size WxH] [--frames N] [--threads N] [--scene FILE]" >&2
           exit 1 ;;
    esac
done
[ -n "$scene" ] || scene=$(dirname "$render")/scenes/stonehenge.tavolin
# Prints "wall-median cpu-median" of one bench run.
medians() {
    "$render" "$scene" --size "$size" --threads "$threads" --light-bending "$1" --sky "$2" \
        --bench "$frames" |
        sed -n -e 's/^frames:.*median \([0-9.]*\).*/\1/p' -e 's/^cpu.*median \([0-9.]*\).*/\1/p' |
        tr '\n' ' '
}
for bending in off on; do
    plain1=$(medians "$bending" off); sky=$(medians "$bending" on); plain2=$(medians "$bending" off)
    echo "$plain1 $sky $plain2" | awk -v b="$bending" -v s="$size" -v t="$threads" '{
        plain = ($1 + $5) / 2; plainCpu = ($2 + $6) / 2
        printf "%s, %d thread(s), light bending %s: without sky %.1f ms, with %.1f ms, ratio %.2f", s, t, b, plain, $3, $3 / plain
        printf "; cpu without %.1f ms, with %.1f ms, ratio %.2f\n", plainCpu, $4, $4 / plainCpu
    }'
done
