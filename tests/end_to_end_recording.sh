#!/usr/bin/env bash
# Records with the real program as an operator would: the program is started with the test
# camera, a working directory and a video length of 3 s under a virtual X server with a
# window manager; "New record" is pressed from the keyboard; once the run has stopped by its
# timer (video length + 5 s after the press), the window is closed. Folder 1 must then hold one
# video and one text file with a line for every frame of the video.
set -u
program=$1
length=3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }

export QT_QPA_PLATFORM=xcb
"$(dirname "$0")/virtual_display.sh" bash -c '
    program=$0 work=$1 length=$2
    openbox >/dev/null 2>&1 &
    wm=$!
    # Activation and closing go through the window manager: wait until it runs.
    for _ in $(seq 100); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.1; done
    wmctrl -m >/dev/null 2>&1 || { echo "FAIL: the window manager did not start"; exit 1; }
    "$program" --source test "$work" "$length" >"$work.log" 2>&1 &
    pid=$!
    wid=
    for _ in $(seq 300); do
        wid=$(xdotool search --name "^eyeblink recorder$" 2>/dev/null | head -1)
        [ -n "$wid" ] && break
        kill -0 $pid 2>/dev/null || { echo "FAIL: the program ended before showing its window"; exit 1; }
        sleep 0.2
    done
    [ -n "$wid" ] || { echo "FAIL: no window titled \"eyeblink recorder\""; kill $pid; exit 1; }
    for _ in $(seq 50); do
        xdotool windowactivate --sync "$wid" >/dev/null 2>&1
        [ "$(xdotool getactivewindow 2>/dev/null)" = "$wid" ] && break
        sleep 0.2
    done
    [ "$(xdotool getactivewindow 2>/dev/null)" = "$wid" ] || { echo "FAIL: the window did not become active"; kill $pid; exit 1; }
    # Focus starts on the first widget, "Select directory"; nine steps along the tab order
    # reach "New record".
    xdotool key --delay 50 Tab Tab Tab Tab Tab Tab Tab Tab Tab space

    # The run has stopped once its text file has had no new line for a second.
    stopped=
    for _ in $(seq 300); do
        text=$(ls "$work"/1/*.txt 2>/dev/null | head -1)
        if [ -n "$text" ] && [ -s "$text" ] &&
           [ $(( $(date +%s) - $(stat -c %Y "$text") )) -ge 2 ]; then
            stopped=yes
            break
        fi
        sleep 0.2
    done
    [ -n "$stopped" ] || echo "FAIL: no recording in folder 1 that stopped within 60 s"
    wmctrl -c "eyeblink recorder"
    for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.2; done
    kill -0 $pid 2>/dev/null && { echo "FAIL: the program did not end after its window closed"; kill $pid; }
    wait $pid
    status=$?
    kill $wm 2>/dev/null
    [ -n "$stopped" ] || exit 1
    [ $status -eq 0 ] || { echo "FAIL: exit code $status"; exit 1; }
' "$program" "$work" "$length" || { cat "$work.log"; rm -f "$work.log"; exit 1; }
rm -f "$work.log"

[ "$(ls "$work")" = 1 ] || fail "working directory holds $(ls "$work" | tr '\n' ' ') instead of folder 1"
videos=("$work"/1/*.avi)
texts=("$work"/1/*.txt)
[ ${#videos[@]} -eq 1 ] && [ -f "${videos[0]}" ] || fail "no single video in folder 1"
[ ${#texts[@]} -eq 1 ] && [ -f "${texts[0]}" ] || fail "no single text file in folder 1"

frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
         -of csv=p=0 "${videos[0]}")
lines=$(wc -l <"${texts[0]}")
last_ms=$(tail -1 "${texts[0]}" | cut -d" " -f2)
echo "frames $frames, lines $lines, last frame at $last_ms ms"
[ "$frames" -gt 0 ] || fail "the video has no frames"
[ "$frames" -eq "$lines" ] || fail "$frames frames but $lines lines"
# Recording runs from the end of the countdown (none here) to the stop timer, length + 5 s
# after the press; the camera's first frame comes a little after the start. Only a lower
# bound: on a busy machine the stop may reach the recorder late, and a run that never stopped
# has failed above.
[ "$last_ms" -ge $(( (length + 4) * 1000 )) ] ||
    fail "recording spans $last_ms ms, less than $(( length + 4 )) s"
echo "PASS"
