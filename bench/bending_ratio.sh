#!/bin/sh
# Bent against straight light in one run: the default scene at 1280x720 with light bending off
# and on, alternating, on 1 and 2 threads; prints each median and the ratio bent / straight, of
# the wall time and of the processor time of all threads. The machine's speed drifts between
# minutes, so only the ratios of one run are compared; on a machine shared with other work the
# wall time says what share of the processors a frame got, the processor time what it needed.
# With --repeat N each thread count measures N such straight-bent-straight triples and ends
# with the median of their ratios: a machine that changes speed now and then spoils single
# triples, not the median.
#   bench/bending_ratio.sh [--render build/bin/tavolin-render] [--size WxH] [--frames N]
#                          [--repeat N]
render=build/bin/tavolin-render
size=1280x720
frames=5
repeat=1
while [ $# -gt 0 ]; do
    case "$1" in
        --render) render=$2; shift 2 ;;
        --size) size=$2; shift 2 ;;
        --frames) frames=$2; shift 2 ;;
        --repeat) repeat=$2; shift 2 ;;
        *) echo "usage: $0 [--render PATH] [--size WxH] [--frames N] [--repeat N]" >&2; exit 1 ;;
    esac
done
case "$repeat" in
    '' | *[!0-9]* | 0) echo "$0: --repeat takes a whole number of at least 1" >&2; exit 1 ;;
esac
scene=$(dirname "$render")/scenes/stonehenge.tavolin
# Prints "wall-median cpu-median" of one bench run (cpu: processor time of all threads).
medians() {
    "$render" "$scene" --size "$size" --threads "$1" --light-bending "$2" --bench "$frames" |
        sed -n -e 's/^frames:.*median \([0-9.]*\).*/\1/p' -e 's/^cpu.*median \([0-9.]*\).*/\1/p' |
        tr '\n' ' '
}
for threads in 1 2; do
    lines=""
    i=0
    while [ "$i" -lt "$repeat" ]; do
        flat1=$(medians "$threads" off); bent=$(medians "$threads" on); flat2=$(medians "$threads" off)
        line=$(echo "$flat1 $bent $flat2" | awk -v t="$threads" -v s="$size" '{
            flat = ($1 + $5) / 2; flatCpu = ($2 + $6) / 2
            printf "%s, %d thread(s): straight %.1f ms, bent %.1f ms, ratio %.2f", s, t, flat, $3, $3 / flat
            printf "; cpu straight %.1f ms, bent %.1f ms, ratio %.2f\n", flatCpu, $4, $4 / flatCpu
        }')
        echo "$line"
        lines="$lines$line
"
        i=$((i + 1))
    done
    [ "$repeat" -gt 1 ] || continue
    printf "%s" "$lines" | awk -v t="$threads" '
        { r = $0; sub(/;.*/, "", r); n = split(r, w, " "); wall[NR] = w[n]; cpu[NR] = $NF }
        function median(a, k,   i, j, x) {
            for (i = 2; i <= k; i++) { x = a[i]; for (j = i - 1; j >= 1 && a[j] > x; j--) a[j + 1] = a[j]; a[j + 1] = x }
            return k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2
        }
        END { printf "%d thread(s), median of %d: ratio %.2f, cpu ratio %.2f\n", t, NR, median(wall, NR), median(cpu, NR) }'
done
