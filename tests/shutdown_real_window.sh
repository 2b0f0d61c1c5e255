#!/usr/bin/env bash
# Starts the real program under a virtual X server with a window manager, closes its main
# window from outside the way a window manager does, and checks that the program ends by
# itself, in order, with exit code 0. In "recording" mode the window is closed while the test
# camera records with the live preview shown: the recording must then end complete, a line for
# every frame of its video.
# Usage: shutdown_real_window.sh PROGRAM [idle|recording]
set -u
if [ -z "${EYEBLINK_UNDER_XVFB:-}" ]; then
    EYEBLINK_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

program=$1
mode=${2:-idle}
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

# Waits up to $1 tenths of a second for the command that follows to succeed.
wait_for() {
    local tenths=$1
    shift
    for _ in $(seq "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

window_listed() { wmctrl -l 2>/dev/null | grep -q " eyeblink recorder$"; }
program_running() { kill -0 "$program_pid" 2>/dev/null; }
program_ended() { ! program_running; }

lines_recorded() {
    local text
    text=$(ls "$records"/1/*.txt 2>/dev/null | head -1)
    [ -n "$text" ] && [ "$(wc -l <"$text")" -ge "$1" ]
}

preview_listed() { wmctrl -l 2>/dev/null | grep -q " Camera output$"; }

# Focus starts on the first widget, "Select directory"; going back along the tab order, "New
# record" is the last widget, "show video while recording" the third from last.
record_with_preview() {
    local wid
    wid=$(xdotool search --name "^eyeblink recorder$" | head -1)
    wait_for 10 timeout 2 xdotool windowactivate --sync "$wid" >/dev/null 2>&1 ||
        fail "the window did not become active"
    xdotool key --delay 50 shift+Tab shift+Tab shift+Tab space Tab Tab space
}

# Each message exactly once, and in the order given. Only messages of one thread, or ones that
# cause each other, have an order: the window writes "MW:finish emitted" after the recorder was
# asked to quit, so the recorder's first message may come before it.
in_order() {
    local previous=0 line count
    for message in "$@"; do
        count=$(grep -cxF -- "$message" "$work/messages")
        [ "$count" -eq 1 ] || fail "\"$message\" written $count times, expected once"
        line=$(grep -nxF -- "$message" "$work/messages" | cut -d: -f1)
        [ "$line" -gt "$previous" ] || fail "\"$message\" out of order"
        previous=$line
    done
}

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 100 wmctrl -m >/dev/null 2>&1 || fail "the window manager did not start"

arguments=()
# A video far longer than the test, so that the close comes while it records.
[ "$mode" = recording ] && arguments=(--source test:320x240@30 "$records" 600)
QT_QPA_PLATFORM=xcb "$program" "${arguments[@]}" 2>"$work/messages" &
program_pid=$!
pids+=("$program_pid")
wait_for 200 window_listed || fail "no window titled \"eyeblink recorder\" within 20 s"

if [ "$mode" = recording ]; then
    record_with_preview
    wait_for 300 lines_recorded 30 || fail "no second of recording in folder 1 within 30 s"
    preview_listed || fail "the preview is not shown while recording"
fi
wmctrl -c "eyeblink recorder" || fail "the window manager could not close the window"
wait_for 300 program_ended || fail "the program still runs 30 s after its window was closed"
wait "$program_pid"
status=$?
[ "$status" -eq 0 ] || fail "exit code $status"

in_order "MW:finish emitted" "Kivo app destructor" "MW: destructor"
if grep -qxF "thread still runnning, terminating" "$work/messages"; then
    in_order "Kivo app destructor" "thread still runnning, terminating" "thread terminated" \
        "thread deleted" "MW: destructor"
fi
if [ "$mode" = idle ]; then
    in_order "BD: quit" "BD: finish emitted" "BD: destructor"
    ! grep -qxF "BD: setting bools true" "$work/messages" || fail "an idle recorder was stopped"
    echo "closed by the window manager while idle: exit code 0, messages in order"
    exit 0
fi

in_order "BD: quit" "BD: setting bools true" "BD: finish emitted" "BD: destructor"
videos=("$records"/1/*.avi)
texts=("$records"/1/*.txt)
[ ${#videos[@]} -eq 1 ] && [ -f "${videos[0]}" ] || fail "no single video in folder 1"
[ ${#texts[@]} -eq 1 ] && [ -f "${texts[0]}" ] || fail "no single text file in folder 1"
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
         -of csv=p=0 "${videos[0]}")
lines=$(wc -l <"${texts[0]}")
[ "$frames" -ge 30 ] || fail "the video holds $frames frames"
[ "$frames" -eq "$lines" ] || fail "$frames frames in the video but $lines lines"
echo "closed by the window manager while recording: exit code 0, messages in order," \
    "$frames frames and as many lines"
