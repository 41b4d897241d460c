#!/bin/sh
# Bent against straight light in one run: the default scene at 1280x720 with light bending off
# and on, alternating, on 1 and 2 threads; prints each median and the ratio bent / straight, of
# the wall time and of the processor time of all threads. The machine's speed drifts between
# minutes, so only the ratios of one run are compared; on a machine shared with other work the
# wall time says what share of the processors a frame got, the processor time what it needed.
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
# Prints "wall-median cpu-median" of one bench run (cpu: processor time of all threads).
medians() {
    "$render" "$scene" --size "$size" --threads "$1" --light-bending "$2" --bench "$frames" |
        sed -n -e 's/^frames:.*median \([0-9.]*\).*/\1/p' -e 's/^cpu.*median \([0-9.]*\).*/\1/p' |
        tr '\n' ' '
}
for threads in 1 2; do
    flat1=$(medians "$threads" off); bent=$(medians "$threads" on); flat2=$(medians "$threads" off)
    echo "$flat1 $bent $flat2" | awk -v t="$threads" -v s="$size" '{
        flat = ($1 + $5) / 2; flatCpu = ($2 + $6) / 2
        printf "%s, %d thread(s): straight %.1f ms, bent %.1f ms, ratio %.2f", s, t, flat, $3, $3 / flat
        printf "; cpu straight %.1f ms, bent %.1f ms, ratio %.2f\n", flatCpu, $4, $4 / flatCpu
    }'
done
