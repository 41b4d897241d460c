#!/usr/bin/env bash
# tavolin-render films end to end: a film rendered in parts by separate processes equals the film
# rendered in one run byte for byte; numbered names; exit codes and messages for bad fly paths
# (2) and bad frame ranges or flags (1).
set -u
render=$1
data=$2
out=$3
rm -rf "$out"
mkdir -p "$out/whole" "$out/parts"
failures=0
scene="$data/spheres8.tavolin"

expect() {  # expect CODE DESCRIPTION MESSAGE-PART COMMAND...
    local code=$1 what=$2 message=$3
    shift 3
    "$@" >"$out/stdout.txt" 2>"$out/stderr.txt"
    local got=$?
    if [ "$got" -ne "$code" ]; then
        echo "FAIL: $what: exit $got, expected $code"; cat "$out/stderr.txt"; failures=$((failures + 1))
    elif [ -n "$message" ] && ! grep -qF -- "$message" "$out/stderr.txt"; then
        echo "FAIL: $what: message without \"$message\":"; cat "$out/stderr.txt"; failures=$((failures + 1))
    else
        echo "ok: $what"
    fi
}

point() {  # point TIME SPEED X Z: an observer at (X, -0.2, Z) looking down -z
    echo "$1 $2 1 $3 -0.2 $4 0 1 0 0 0 0 1 0 0 0 0 -1"
}

# 0.76 s at 25 fps: frames 0-19.
{
    echo "tavolin-flypath 1"
    point 0 0 -0.3 -3.2
    point 0.38 0.4 0 -3.0
    point 0.76 0.7 0.3 -2.7
} >"$out/path.txt"

film=(--flypath "$out/path.txt" --fps 25 --size 48x32 --threads 2)
expect 0 "whole film" "" "$render" "$scene" "${film[@]}" -o "$out/whole/film.png"
expect 0 "frames 0-9" "" "$render" "$scene" "${film[@]}" --frames 0-9 -o "$out/parts/film.png"
expect 0 "frames 10-19" "" "$render" "$scene" "${film[@]}" --frames 10-19 -o "$out/parts/film.png"
count=$(ls "$out/whole" | wc -l)
[ "$count" -eq 20 ] || { echo "FAIL: $count frames, expected 20"; failures=$((failures + 1)); }
for k in $(seq -f "%05g" 0 19); do
    if ! cmp -s "$out/whole/film_$k.png" "$out/parts/film_$k.png"; then
        echo "FAIL: frame $k differs between the parts and the whole film"; failures=$((failures + 1))
    fi
done
cmp -s "$out/whole/film_00000.png" "$out/whole/film_00019.png" &&
    { echo "FAIL: first and last frame are the same picture"; failures=$((failures + 1)); }
expect 0 "single frame" "" "$render" "$scene" "${film[@]}" --frames 7 -o "$out/one.bmp"
[ -s "$out/one_00007.bmp" ] && [ ! -e "$out/one_00006.bmp" ] && [ ! -e "$out/one_00008.bmp" ] ||
    { echo "FAIL: --frames 7 wrote other frames"; failures=$((failures + 1)); }

# The same path in version 2, each point's observer time equal to its film time (what version 1
# files are read as): the same frames byte for byte.
{
    echo "tavolin-flypath 2"
    point 0 0 -0.3 -3.2 | sed 's/^0 /0 0 /'
    point 0.38 0.4 0 -3.0 | sed 's/^0.38 /0.38 0.38 /'
    point 0.76 0.7 0.3 -2.7 | sed 's/^0.76 /0.76 0.76 /'
} >"$out/path2.txt"
mkdir -p "$out/v2"
expect 0 "version 2 film" "" "$render" "$scene" --flypath "$out/path2.txt" --fps 25 --size 48x32 \
    --threads 2 -o "$out/v2/film.png"
for k in $(seq -f "%05g" 0 19); do
    cmp -s "$out/whole/film_$k.png" "$out/v2/film_$k.png" ||
        { echo "FAIL: frame $k of the version 2 path differs"; failures=$((failures + 1)); }
done
{ echo "tavolin-flypath 2"; point 0 0 0 -3; } >"$out/v1line.txt"
expect 2 "version 1 line in a version 2 file" "line 2: expected 19 numbers" \
    "$render" "$scene" --flypath "$out/v1line.txt" -o "$out/x.png"

# Bad fly paths: exit 2 with the file and the line.
printf 'tavolin-flightpath 1\n' >"$out/header.txt"
expect 2 "wrong header" "line 1: not a fly-path file" \
    "$render" "$scene" --flypath "$out/header.txt" -o "$out/x.png"
{ echo "tavolin-flypath 1"; point 0 0 0 -3; point 1 0 0 -3 | cut -d' ' -f1-17; } >"$out/short.txt"
expect 2 "missing field" "line 3: expected 18 numbers" \
    "$render" "$scene" --flypath "$out/short.txt" -o "$out/x.png"
{ echo "tavolin-flypath 1"; point 1 0 0 -3; point 0.5 0 0 -3; } >"$out/descending.txt"
expect 2 "descending times" "line 3: film time 0.5" \
    "$render" "$scene" --flypath "$out/descending.txt" -o "$out/x.png"
{ echo "tavolin-flypath 1"; point 0 0 0 -3 | sed 's/-0.2/zero/'; } >"$out/word.txt"
expect 2 "not a number" "field 5 (\"zero\") is not a number" \
    "$render" "$scene" --flypath "$out/word.txt" -o "$out/x.png"
: >"$out/empty.txt"
expect 2 "empty file" "empty file" "$render" "$scene" --flypath "$out/empty.txt" -o "$out/x.png"
echo "tavolin-flypath 1" >"$out/nopoints.txt"
expect 2 "no points" "empty" "$render" "$scene" --flypath "$out/nopoints.txt" -o "$out/x.png"
expect 2 "missing fly path" "$out/none.txt: No such file or directory" \
    "$render" "$scene" --flypath "$out/none.txt" -o "$out/x.png"
# Once plain background with exit 0.
{ echo "tavolin-flypath 1"; point 0 0.5 0 -3; point 1 1 0 -3; } >"$out/light.txt"
expect 2 "speed of light" "line 3: speed 1 is not below the speed of light" \
    "$render" "$scene" --flypath "$out/light.txt" -o "$out/x.png"
# A pipe once hung forever and /dev/zero grew without bound; both end at once now (the
# timeout only keeps a regression from hanging the test).
rm -f "$out/pipe.txt"
mkfifo "$out/pipe.txt"
expect 2 "fly path from a pipe" "not a regular file" \
    timeout 60 "$render" "$scene" --flypath "$out/pipe.txt" -o "$out/x.png"
expect 2 "scene from a pipe" "not a regular file" \
    timeout 60 "$render" "$out/pipe.txt" -o "$out/x.png"
expect 2 "fly path from /dev/zero" "not a regular file" \
    timeout 60 "$render" "$scene" --flypath /dev/zero -o "$out/x.png"
expect 2 "scene is a folder" "$out: Is a directory" timeout 60 "$render" "$out" -o "$out/x.png"

# Bad ranges and flags: exit 1.
expect 1 "range past the end" "0-19" "$render" "$scene" "${film[@]}" --frames 15-20 -o "$out/x.png"
expect 1 "reversed range" "--frames" "$render" "$scene" "${film[@]}" --frames 9-3 -o "$out/x.png"
expect 1 "zero fps" "--fps" "$render" "$scene" --flypath "$out/path.txt" --fps 0 -o "$out/x.png"
expect 1 "fps without a fly path" "--flypath" "$render" "$scene" --fps 25 -o "$out/x.png"
expect 3 "unwritable frames" "film_00000.png" \
    "$render" "$scene" "${film[@]}" --frames 0 -o "$out/no/such/dir/film.png"
[ "$(grep -c "film_00000.png" "$out/stderr.txt")" -eq 1 ] ||
    { echo "FAIL: the film error is not said exactly once"; failures=$((failures + 1)); }
{
    echo "tavolin-flypath 1"
    point 0 0 -0.3 -3.2
    point 1e8 0 -0.3 -3.2
} >"$out/long.txt"
expect 1 "film too long" "The film is too long" \
    "$render" "$scene" --flypath "$out/long.txt" -o "$out/x.png"
ls "$out"/x_* >/dev/null 2>&1 && { echo "FAIL: a refused film wrote pictures"; failures=$((failures + 1)); }

echo "$failures failed"
[ "$failures" -eq 0 ]
