#!/usr/bin/env bash
# tavolin-render end to end: every scene renders at every packet size, and bad input gives the
# documented exit codes with a message (1 usage, 2 scene, 3 picture, 4 memory).
set -u
render=$1
data=$2
out=$3
mkdir -p "$out"
failures=0

expect() {  # expect CODE DESCRIPTION COMMAND...
    local code=$1 what=$2
    shift 2
    "$@" >"$out/stdout.txt" 2>"$out/stderr.txt"
    local got=$?
    if [ "$got" -ne "$code" ]; then
        echo "FAIL: $what: exit $got, expected $code"; cat "$out/stderr.txt"; failures=$((failures + 1))
    elif [ "$code" -ne 0 ] && [ ! -s "$out/stderr.txt" ]; then
        echo "FAIL: $what: no message on stderr"; failures=$((failures + 1))
    else
        echo "ok: $what"
    fi
}

expect 0 "default scene" "$render" -o "$out/default.png" --size 160x90
[ -s "$out/default.png" ] || { echo "FAIL: default.png missing"; failures=$((failures + 1)); }
for scene in "$data"/*.tavolin; do
    name=$(basename "$scene" .tavolin)
    for bundle in 1 2 4; do
        expect 0 "$name bundle $bundle" "$render" "$scene" -o "$out/$name-$bundle.png" \
            --size 97x61 --bundle "$bundle" --speed 0.5
    done
    expect 0 "$name light bending" "$render" "$scene" -o "$out/$name-bent.png" --size 64x48 \
        --light-bending on --bundle 4
done
expect 0 "antialiased bmp" "$render" "$data/spheres8.tavolin" -o "$out/aa.bmp" --size 40x30 --aa 8
# Automatic exposure settles on trial frames first: the test scenes come out brighter than the
# band at 0 stops, so the settled value is not where it started.
expect 0 "auto exposure" "$render" "$data/spheres8.tavolin" -o "$out/auto.png" --size 64x48 \
    --exposure auto
grep -qE "^exposure: -[0-9.]+ stops$" "$out/stderr.txt" ||
    { echo "FAIL: auto exposure did not settle below 0 stops"; cat "$out/stderr.txt"; failures=$((failures + 1)); }
expect 0 "bench" "$render" "$data/spheres8.tavolin" --size 64x64 --bench 2
grep -q "Mrays/s" "$out/stdout.txt" || { echo "FAIL: bench line missing"; failures=$((failures + 1)); }

expect 1 "unknown flag" "$render" --frobnicate -o "$out/x.png"
expect 1 "bad packet size" "$render" -o "$out/x.png" --bundle 3
expect 2 "missing scene" "$render" "$out/no-such-scene.tavolin" -o "$out/x.png"
printf '<tavolinfile><plane><foo>1</foo></plane></tavolinfile>' > "$out/bad.tavolin"
expect 2 "broken scene" "$render" "$out/bad.tavolin" -o "$out/x.png"
expect 3 "unwritable picture" "$render" "$data/spheres8.tavolin" -o "$out/no/such/dir/x.png" --size 16x16
expect 4 "picture too large" "$render" "$data/spheres8.tavolin" -o "$out/x.png" --size 32768x32768 --aa 16
grep -qF "Resolution to big, ran out of memory. Please reduce the resolution." "$out/stderr.txt" ||
    { echo "FAIL: out-of-memory message missing"; failures=$((failures + 1)); }


# The output is checked before the scene is read: a picture name that cannot be written ends
# with exit 3 even when the scene does not exist either, and a scene given as the picture name
# stays byte for byte.
expect 3 "picture format checked first" "$render" "$out/no-such-scene.tavolin" -o "$out/x.unknownsuffix"
cp "$data/spheres8.tavolin" "$out/s.tavolin"
expect 3 "scene as picture name" "$render" "$out/s.tavolin" -o "$out/s.tavolin" --size 16x16
cmp -s "$data/spheres8.tavolin" "$out/s.tavolin" ||
    { echo "FAIL: -o s.tavolin changed the scene"; failures=$((failures + 1)); }

# A disk that fills while the picture is written (a 1 KiB file size limit; the signal ignored so
# that write(2) fails with EFBIG): exit 3 with the system's reason, the earlier picture intact.
cp "$out/spheres8-1.png" "$out/keep.png"
expect 3 "short write" bash -c 'trap "" XFSZ; ulimit -f 1; exec "$@"' - "$render" \
    "$data/spheres8.tavolin" -o "$out/keep.png" --size 200x150
grep -qF "Could not write $out/keep.png: File too large" "$out/stderr.txt" ||
    { echo "FAIL: short write reason missing"; failures=$((failures + 1)); }
cmp -s "$out/spheres8-1.png" "$out/keep.png" ||
    { echo "FAIL: short write changed the earlier picture"; failures=$((failures + 1)); }
[ -z "$(find "$out" -name '.keep.png.*')" ] ||
    { echo "FAIL: short write left a temporary file"; failures=$((failures + 1)); }


# The observer's time and the light-travel-time switch: a scene without moving bodies looks the
# same at every time and in both modes; bad values are refused as usage errors.
expect 0 "time 0" "$render" "$data/spheres8.tavolin" -o "$out/t0.png" --size 48x32
expect 0 "time 7.5, light travel time on" "$render" "$data/spheres8.tavolin" -o "$out/t7.png" \
    --size 48x32 --time 7.5 --light-travel-time on
cmp -s "$out/t0.png" "$out/t7.png" ||
    { echo "FAIL: a static scene changed with the observer's time"; failures=$((failures + 1)); }
expect 1 "time not a number" "$render" -o "$out/x.png" --time soon
expect 1 "time not finite" "$render" -o "$out/x.png" --time inf
expect 1 "light travel time not on|off" "$render" -o "$out/x.png" --light-travel-time yes
"$render" --help | grep -qF -- "--light-travel-time on|off" ||
    { echo "FAIL: --help does not list --light-travel-time"; failures=$((failures + 1)); }

# The starry sky: --sky off is the picture without the flag, byte for byte; on, it differs;
# bad values are refused.
expect 0 "sky off" "$render" "$data/spheres8.tavolin" -o "$out/sky-off.png" --size 48x32 --sky off
cmp -s "$out/t0.png" "$out/sky-off.png" ||
    { echo "FAIL: --sky off changed the picture"; failures=$((failures + 1)); }
expect 0 "sky on" "$render" "$data/spheres8.tavolin" -o "$out/sky-on.png" --size 96x64 --sky on
expect 0 "sky on, bent light" "$render" "$data/spheres8.tavolin" -o "$out/sky-bent.png" \
    --size 48x32 --sky on --light-bending on --aa 4
expect 0 "no sky" "$render" "$data/spheres8.tavolin" -o "$out/sky-none.png" --size 96x64
cmp -s "$out/sky-none.png" "$out/sky-on.png" &&
    { echo "FAIL: --sky on drew no star"; failures=$((failures + 1)); }
expect 1 "sky not on|off" "$render" -o "$out/x.png" --sky bright

# A misspelt texture renders with the first texture, but says so.
printf '<tavolinfile><sphere><name>ball</name><texname>tx</texname></sphere><newtexturesingle><texname>t</texname></newtexturesingle></tavolinfile>' >"$out/typo.tavolin"
expect 0 "undefined texture" "$render" "$out/typo.tavolin" -o "$out/typo.png" --size 16x16
grep -qF 'warning: '"$out"'/typo.tavolin: The texture "tx" (used by the object "ball") is not defined' "$out/stderr.txt" ||
    { echo "FAIL: no warning for an undefined texture"; failures=$((failures + 1)); }

# Memory that runs out anywhere after the picture's size was accepted (the pool's threads, the
# picture, its reduction, the encoded file) ends with exit 4 and a message, never with an abort
# or a hang: the renderer runs under address-space limits (ulimit -v) from the least it starts
# with upwards. Skipped for sanitizer builds, which reserve terabytes of address space.
if ldd "$render" | grep -qE 'lib(asan|tsan)'; then
    echo "skip: memory limits (sanitizer build)"
else
    base=32
    while [ "$base" -lt 2048 ] &&
        ! bash -c 'ulimit -v $1; exec "$2" --help' - $((base * 1024)) "$render" >/dev/null 2>&1; do
        base=$((base + 8))
    done
    late=0 codes=""
    for extra in $(seq 0 6 96); do
        limit=$(((base + extra) * 1024))
        timeout 120 bash -c 'ulimit -v $1; shift; exec "$@"' - "$limit" "$render" \
            "$data/spheres8.tavolin" -o "$out/limited.png" --size 1500x1500 --aa 4 --threads 2 \
            >"$out/stdout.txt" 2>"$out/stderr.txt"
        code=$?
        codes="$codes $code"
        if [ "$code" -eq 4 ]; then
            grep -q "memory" "$out/stderr.txt" ||
                { echo "FAIL: exit 4 without a message at $limit KiB"; failures=$((failures + 1)); }
            grep -q "Resolution to big" "$out/stderr.txt" || late=$((late + 1))
        elif [ "$code" -ne 0 ]; then
            echo "FAIL: exit $code under a limit of $limit KiB"; cat "$out/stderr.txt"
            failures=$((failures + 1))
        fi
    done
    echo "exit codes from $base MiB up in 6 MiB steps:$codes"
    [ "$late" -gt 0 ] ||
        { echo "FAIL: no limit ran out of memory after the picture was allocated"; failures=$((failures + 1)); }
    [ "$code" -eq 0 ] || { echo "FAIL: the largest limit did not render"; failures=$((failures + 1)); }
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
