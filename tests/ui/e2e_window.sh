#!/usr/bin/env bash
# End-to-end check of the desktop program on a virtual X server: the default scene is drawn,
# holding A (with the forward motion paused) shifts the picture's centre toward blue and changes
# the status bar, and a horizontal split from the context menu shows the picture twice. Then
# `tavolin FILE` opens a scene of the user's: an object deleted from the keyboard in the edit
# dock marks the title modified and Ctrl+Z brings the object back; leaving with changes asks
# Save / Discard / Cancel, Cancel keeps the window, and Save writes the file and ends. The window
# carries the program icon.
# usage: e2e_window.sh TAVOLIN_EXECUTABLE OUTPUT_FOLDER
set -euo pipefail
program=$1
out=$2

# A private X server: other tests' windows on a shared display would cover the screenshots.
# -noreset: an X server resets when its last client leaves, and a program started while it
# does (the second start below, right after the first program ends) cannot connect.
if [ -z "${TAVOLIN_E2E_SERVER:-}" ]; then
    TAVOLIN_E2E_SERVER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$0" "$@"
fi
for tool in import convert xdotool python3; do
    command -v "$tool" > /dev/null || { echo "missing tool: $tool"; exit 1; }
done
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.log
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=$(mktemp -d)
    chmod 700 "$XDG_RUNTIME_DIR"
fi

# The first visible window whose title matches, waiting up to $2 seconds. xdotool's own --sync
# search gives up on an X error when a window it lists is destroyed before it asks about it
# (a program starting slowly, as under a sanitizer, creates and destroys helper windows), so the
# search is simply repeated.
find_window() {
    local deadline=$((SECONDS + $2)) found
    while [ $SECONDS -lt $deadline ]; do
        found=$(xdotool search --onlyvisible --name "$1" 2> /dev/null | head -1) || true
        [ -n "$found" ] && { echo "$found"; return 0; }
        sleep 0.3
    done
    return 1
}

"$program" > "$out/tavolin.log" 2>&1 &
pid=$!
trap 'kill $pid 2> /dev/null || true' EXIT

win=$(find_window ' - Tavolin$' 60) || true
[ -n "$win" ] || { echo "no Tavolin window"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$win")"  # X, Y, WIDTH, HEIGHT
echo "window $win at $X,$Y size ${WIDTH}x$HEIGHT"
# The window carries its icon for task bars and window lists.
# (The property may follow the first map by a moment.)
if command -v xprop > /dev/null; then
    for try in $(seq 20); do
        xprop -id "$win" _NET_WM_ICON | grep -q 'Icon (' && break
        [ "$try" -lt 20 ] || { echo "the window has no icon"; xprop -id "$win" | cut -c1-120; exit 1; }
        sleep 0.5
    done
fi
xdotool windowfocus --sync "$win" || true
cx=$((X + WIDTH / 2))
cy=$((Y + HEIGHT / 2))

shot() {
    sleep "${2:-2}"
    import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$out/$1.png"
}

# Statistics of a screenshot region (x, y, w, h relative to the window), computed from a PPM.
analyse() {
    python3 - "$@" << 'PY'
import subprocess, sys
name, x, y, w, h, what = sys.argv[1], *map(int, sys.argv[2:6]), sys.argv[6]
data = subprocess.run(["convert", name, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "ppm:-"],
                      check=True, capture_output=True).stdout
# P6 header: magic, width, height, maxval, then RGB bytes.
fields, pos = [], 0
while len(fields) < 4:
    while data[pos:pos + 1].isspace():
        pos += 1
    start = pos
    while not data[pos:pos + 1].isspace():
        pos += 1
    fields.append(data[start:pos])
pixels = data[pos + 1:]
n = len(pixels) // 3
r = sum(pixels[0::3]) / n
g = sum(pixels[1::3]) / n
b = sum(pixels[2::3]) / n
if what == "mean":
    print(f"{r:.2f} {g:.2f} {b:.2f}")
elif what == "drawn":
    # Share of pixels that are neither black nor the renderer's background grey (20, 20, 20).
    drawn = sum(1 for i in range(0, 3 * n, 3)
                if max(abs(pixels[i + k] - 20) for k in range(3)) > 12)
    print(f"{drawn / n:.3f}")
PY
}

# Smallest mean absolute difference between the left half of a band of the window and the right
# half shifted by up to 12 pixels: near 0 when the band shows one picture twice side by side.
halves_diff() {
    python3 - "$@" << 'PY'
import subprocess, sys
name, width, y, h = sys.argv[1], *map(int, sys.argv[2:5])
data = subprocess.run(["convert", name, "-crop", f"{width}x{h}+0+{y}", "+repage", "-depth", "8",
                       "rgb:-"], check=True, capture_output=True).stdout
half, span = width // 2, width // 2 - 14
best = None
for shift in range(-12, 13):
    total = 0
    for row in range(0, h, 2):
        base = row * width * 3
        a = data[base:base + 3 * span]
        b = data[base + 3 * (half + shift):base + 3 * (half + shift + span)]
        total += sum(abs(p - q) for p, q in zip(a, b))
    mean = total / (3 * span * len(range(0, h, 2)))
    best = mean if best is None else min(best, mean)
print(f"{best:.2f}")
PY
}

fail() { echo "FAIL: $*"; exit 1; }
ge() { python3 -c "import sys; sys.exit(0 if float('$1') >= float('$2') else 1)"; }

# The view fills the window between the tool bar and the status bar; sample inside it.
view_x=10
view_y=$((HEIGHT / 4))
view_w=$((WIDTH - 20))
view_h=$((HEIGHT / 2))

shot start 5
drawn=$(analyse "$out/start.png" $view_x $view_y $view_w $view_h drawn)
echo "share of drawn pixels at start: $drawn"
ge "$drawn" 0.3 || fail "the scene is not drawn"
centre_before=$(analyse "$out/start.png" $((WIDTH / 2 - 20)) $((HEIGHT / 2 - 20)) 40 40 mean)
status_before=$(analyse "$out/start.png" $((WIDTH / 2)) $((HEIGHT - 22)) $((WIDTH / 2 - 20)) 18 mean)
left_right_before=$(halves_diff "$out/start.png" "$WIDTH" $view_y $view_h)

# Pause the forward motion, then accelerate: a quarter second of A gives about 0.25 c.
xdotool mousemove "$cx" "$cy"
xdotool key --window "$win" p
xdotool keydown --window "$win" a
sleep 0.25
xdotool keyup --window "$win" a
shot faster 2
centre_after=$(analyse "$out/faster.png" $((WIDTH / 2 - 20)) $((HEIGHT / 2 - 20)) 40 40 mean)
status_after=$(analyse "$out/faster.png" $((WIDTH / 2)) $((HEIGHT - 22)) $((WIDTH / 2 - 20)) 18 mean)
echo "centre RGB before: $centre_before, after: $centre_after"
echo "status bar mean before: $status_before, after: $status_after"
python3 - "$centre_before" "$centre_after" << 'PY' || fail "the centre did not shift toward blue"
import sys
before = list(map(float, sys.argv[1].split()))
after = list(map(float, sys.argv[2].split()))
share = lambda c: c[2] / max(1.0, sum(c))
print(f"blue share {share(before):.3f} -> {share(after):.3f}")
# Less red, more blue, and a clearly larger blue share (the exact speed depends on timing).
sys.exit(0 if share(after) > share(before) + 0.05 and after[0] < before[0] and after[2] > before[2]
         else 1)
PY
[ "$status_before" != "$status_after" ] || fail "the status bar did not change"

# Back to rest, then split the view from its context menu (first entry).
xdotool key --window "$win" r
xdotool mousemove "$cx" "$cy" click 3
sleep 1
shot menu 0.5
xdotool key Down Return
shot split 3
left_right_after=$(halves_diff "$out/split.png" "$WIDTH" $view_y $view_h)
# On a loaded machine a screenshot can catch one view a frame ahead of the other: look again.
for again in 1 2 3; do
    ge 3 "$left_right_after" && break
    shot split 2
    left_right_after=$(halves_diff "$out/split.png" "$WIDTH" $view_y $view_h)
done
drawn_split=$(analyse "$out/split.png" $view_x $view_y $view_w $view_h drawn)
echo "left/right difference before split: $left_right_before, after: $left_right_after; drawn $drawn_split"
ge "$drawn_split" 0.3 || fail "the split views are not drawn"
ge "$left_right_before" 10 || fail "the single picture's halves already look alike"
ge 3 "$left_right_after" || fail "the two views do not show the same picture"

kill $pid
wait $pid 2> /dev/null || true
# The trace lines are off unless asked for.
! grep -q "waiting finished" "$out/tavolin.log" || fail "trace lines without --trace"

# ---- a scene of the user's: tavolin FILE, an edit, undo, and the unsaved-changes question
scene_dir=$(mktemp -d)
scene="$scene_dir/e2e.tavolin"
cp "$(dirname "$0")/../data/spheres8.tavolin" "$scene"
spheres_before=$(grep -c "<sphere>" "$scene")
"$program" "$scene" > "$out/tavolin-file.log" 2>&1 &
pid=$!
trap 'kill $pid 2> /dev/null || true; rm -rf "$scene_dir"' EXIT

title_is() {  # waits up to 10 s for the window's title
    for _ in $(seq 50); do
        [ "$(xdotool getwindowname "$win" 2> /dev/null)" = "$1" ] && return 0
        sleep 0.2
    done
    echo "title: $(xdotool getwindowname "$win" 2> /dev/null)"
    return 1
}
win=$(find_window '^e2e.tavolin - Tavolin$' 60) || true
[ -n "$win" ] || fail "tavolin FILE did not open a window titled after the file"
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool windowfocus --sync "$win" || true
shot file-start 3
drawn=$(analyse "$out/file-start.png" $view_x $view_y $view_w $view_h drawn)
ge "$drawn" 0.02 || fail "the opened scene is not drawn"

# Options > Show Edit Objects (the ninth entry after Aberration), then Delete on the first
# object.
xdotool key alt+o
sleep 0.5
xdotool key Down Down Down Down Down Down Down Down Down Return
sleep 1
xdotool key Delete
title_is "e2e.tavolin* - Tavolin" || fail "a deletion did not mark the title modified"
shot file-deleted 2
xdotool key ctrl+z
title_is "e2e.tavolin - Tavolin" || fail "undo did not bring back the saved state"
shot file-undone 2
xdotool key Delete
title_is "e2e.tavolin* - Tavolin" || fail "the second deletion did not mark the title"

# File > Exit asks; Escape (Cancel) keeps the window and the change.
ask_exit() {
    # Without a window manager the focus does not return by itself after a closed dialog.
    xdotool windowfocus --sync "$win" || true
    xdotool key alt+f
    sleep 1
    xdotool key Up
    sleep 0.5
    xdotool key Return
    find_window '^Unsaved Changes$' 10 > /dev/null ||
        fail "leaving with changes did not ask"
}
ask_exit
sleep 0.5
import -window root "$out/unsaved-question.png"
xdotool key Escape
sleep 1
kill -0 $pid 2> /dev/null || fail "Cancel ended the program"
title_is "e2e.tavolin* - Tavolin" || fail "Cancel lost the change"
# Return (Save, the default) writes the file and ends the program.
ask_exit
sleep 0.5
xdotool key Return
for _ in $(seq 50); do kill -0 $pid 2> /dev/null || break; sleep 0.2; done
kill -0 $pid 2> /dev/null && fail "Save did not end the program"
status=0
wait $pid 2> /dev/null || status=$?
[ "$status" -eq 0 ] || fail "the program ended with status $status after Save"
# A sanitizer build reports memory errors, undefined behaviour and leaks in the logs.
! grep -qE "ERROR: (Address|Leak)Sanitizer|runtime error:" "$out/tavolin.log" "$out/tavolin-file.log" ||
    fail "sanitizer report in $out/tavolin.log or $out/tavolin-file.log"
spheres_after=$(grep -c "<sphere>" "$scene")
echo "spheres in the file before: $spheres_before, after saving: $spheres_after"
[ "$spheres_after" -eq $((spheres_before - 1)) ] || fail "the saved file does not hold the edit"

trap - EXIT
rm -rf "$scene_dir"
echo "screenshots in $out"
echo "PASS"
