#!/usr/bin/env bash
# Starts the real program on the test camera's eye under a virtual X server with a window
# manager, opens the "Camera output" window and watches the camera from the keyboard, drags a
# box around the eye on the live picture with the mouse, and checks the region the window tells
# against the eye's box (240,200,160,80 in the 640x480 frame). Then "New record" records while
# watching was on, "Stop" ends the recording, and closing the window while watching again ends
# the program with exit code 0.
# Usage: watch_region_real_window.sh PROGRAM
set -u
if [ -z "${EYEBLINK_UNDER_XVFB:-}" ]; then
    EYEBLINK_UNDER_XVFB=1 exec "$(dirname "$0")/virtual_display.sh" "$0" "$@"
fi

program=$1
work=$(mktemp -d)
records=$work/records
mkdir "$records"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*"
    echo "--- program messages:"
    cat "$work/messages" 2>/dev/null
    exit 1
}

# shellcheck source=real_window_checks.sh
. "$(dirname "$0")/real_window_checks.sh"
program_ended() { ! kill -0 "$program_pid" 2>/dev/null; }
preview_listed() { wmctrl -l 2>/dev/null | grep -q " Camera output$"; }
region_told() { grep -q "^eyelid region drawn: " "$work/messages"; }
lines_recorded() {
    local text
    text=$(ls "$records"/1/*.txt 2>/dev/null | head -1)
    [ -n "$text" ] && [ "$(wc -l <"$text")" -ge "$1" ]
}
recording_ended() { grep -qs '"recording ended"' "$records"/1/*.json; }
activate() {
    wait_for 10 timeout 2 xdotool windowactivate --sync "$1" >/dev/null 2>&1 ||
        fail "window $1 did not become active"
}
# Within tolerance pixels of the expected value: the window's margins depend on the style.
near() { [ $(($1 - $2)) -le "$3" ] && [ $(($2 - $1)) -le "$3" ]; }

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 300 wmctrl -m >/dev/null 2>&1 || fail "the window manager did not start within 30 s"

QT_QPA_PLATFORM=xcb "$program" --source test:640x480@30:eye "$records" 600 2>"$work/messages" &
program_pid=$!
pids+=("$program_pid")
wait_for 200 window_listed || fail "no window titled \"eyeblink recorder\" within 20 s"
main=$(xdotool search --name "^eyeblink recorder$" | head -1)

# Focus starts on "Select directory"; "show video while recording" is the third from last.
activate "$main"
xdotool key --delay 50 shift+Tab shift+Tab shift+Tab space
wait_for 100 preview_listed || fail "the box did not open \"Camera output\" while idle"
preview=$(xdotool search --name "^Camera output$" | head -1)
# "Watch camera" is the window's only widget that takes the focus.
activate "$preview"
xdotool key space
sleep 1

# Sized so that the picture, at the window's top left inside the layout's margin of 11
# pixels, is shown at the frame's own size: the strip (90) and the button's row (25) below it,
# 6 pixels apart, take 149 pixels of the height. Another style or font moves it a few pixels.
margin=11
xdotool windowsize --sync "$preview" $((640 + 2 * margin)) $((480 + 149)) >/dev/null 2>&1 ||
    xdotool windowsize "$preview" $((640 + 2 * margin)) $((480 + 149))
sleep 0.5
xdotool mousemove --window "$preview" $((margin + 240)) $((margin + 200)) mousedown 1 \
    mousemove --window "$preview" $((margin + 320)) $((margin + 240)) \
    mousemove --window "$preview" $((margin + 400)) $((margin + 280)) mouseup 1
wait_for 50 region_told || fail "no region told after the drag"
read -r x y w h < <(sed -n 's/^eyelid region drawn: \([-0-9]*\),\([-0-9]*\),\([0-9]*\),\([0-9]*\)$/\1 \2 \3 \4/p' \
    "$work/messages" | tail -1)
echo "region drawn: $x,$y,$w,$h"
near "$x" 240 8 && near "$y" 200 8 && near "$w" 160 8 && near "$h" 80 8 ||
    fail "region $x,$y,$w,$h is not the eye's box 240,200,160,80"
grep -q "Watching the camera failed" "$work/messages" && fail "watching failed"

# Recording takes the camera from the watching: "New record" is two on from the box, which
# kept the focus.
activate "$main"
xdotool key --delay 50 Tab Tab space
wait_for 300 lines_recorded 30 || fail "no second of recording in folder 1 within 30 s"

# "Stop" (the focus stayed on the button): after the result watching resumes, and closing the
# window while watching ends the program as well.
xdotool key space
wait_for 300 recording_ended || fail "the recording did not end within 30 s of \"Stop\""
sleep 1
wmctrl -c "eyeblink recorder" || fail "the window manager could not close the window"
wait_for 300 program_ended || fail "the program still runs 30 s after its window closed"
wait "$program_pid"
status=$?
[ "$status" -eq 0 ] || fail "exit code $status"
grep -q "source stuck" "$work/messages" && fail "a camera was left stuck in a read"
echo "PASS: region drawn on the live picture, recorded after watching, ended while watching"
