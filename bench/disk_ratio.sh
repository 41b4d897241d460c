#!/bin/sh
# The accretion disk's cost in a black-hole frame: a scene with light bending on, rendered as it
# is and with a disk added around its hole (or, for a scene that has one, with its disk taken
# out), alternating, on 2 threads; prints each median and the ratio with / without, of the wall
# time and of the processor time of all threads. Only the ratios of one run are compared (the
# machine's speed drifts between minutes).
#   bench/disk_ratio.sh [--render build/bin/tavolin-render] [--scene FILE] [--size WxH]
#                       [--frames N] [--disk '<newdisk>...</newdisk>']
render=build/bin/tavolin-render
scene=
size=1280x720
frames=5
disk='<newdisk><normal>0;1;0.15;0</normal><rout>8</rout></newdisk>'
while [ $# -gt 0 ]; do
    case "$1" in
        --render) render=$2; shift 2 ;;
        --scene) scene=$2; shift 2 ;;
        --size) size=$2; shift 2 ;;
        --frames) frames=$2; shift 2 ;;
        --disk) disk=$2; shift 2 ;;
        *) echo "usage: $0 [--render PATH] [--scene FILE] [--size WxH] [--frames N] [--disk XML]" >&2
           exit 1 ;;
    esac
done
[ -n "$scene" ] || scene=$(dirname "$render")/scenes/stonehenge.tavolin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if grep -q '<newdisk' "$scene"; then
    cp "$scene" "$work/with.tavolin"
    # Every disk block out (a disk's block spans lines up to its end tag).
    sed '/<newdisk/,/<\/newdisk>/d' "$scene" > "$work/without.tavolin"
else
    cp "$scene" "$work/without.tavolin"
    sed "s|</tavolinfile>|$disk</tavolinfile>|" "$scene" > "$work/with.tavolin"
fi
medians() {
    "$render" "$1" --size "$size" --threads 2 --light-bending on --bench "$frames" |
        sed -n -e 's/^frames:.*median \([0-9.]*\).*/\1/p' -e 's/^cpu.*median \([0-9.]*\).*/\1/p' |
        tr '\n' ' '
}
a=$(medians "$work/without.tavolin"); b=$(medians "$work/with.tavolin"); c=$(medians "$work/without.tavolin")
echo "$a $b $c" | awk -v s="$size" '{
    flat = ($1 + $5) / 2; flatCpu = ($2 + $6) / 2
    printf "%s, 2 threads: without disk %.1f ms, with %.1f ms, ratio %.2f", s, flat, $3, $3 / flat
    printf "; cpu without %.1f ms, with %.1f ms, ratio %.2f\n", flatCpu, $4, $4 / flatCpu
}'
