#!/usr/bin/env bash
# Starts the real program under a virtual X server with a window manager, closes its main
# window from outside the way a window manager does, and checks that the program ends by
# itself, in order, with exit code 0. In "recording" mode the window is closed while the test
# camera records with the live preview shown: the recording must then end complete, a line for
# every frame of its video. The signal modes end such a recording otherwise:
# - sigterm, sigint, sighup: the system asks the program to end, which must end it exactly as
#   closing its window does;
# - sigkill: the program is killed 5 s into the recording; the video must still hold every
#   frame that the text file listed 1.5 s before, the text file no line beyond the video's
#   frames, and the run record written at the start must be there;
# - twice: two requests to end arrive together; the second ends the program at once.
# Usage: shutdown_real_window.sh PROGRAM [idle|recording|sigterm|sigint|sighup|sigkill|twice]
set -u
if [ -z "${EYEBLINK_UNDER_XVFB:-}" ]; then
    EYEBLINK_UNDER_XVFB=1 exec "$(dirname "$0")/virtual_display.sh" "$0" "$@"
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
    echo "--- window manager messages:"
    cat "$work/openbox.log" 2>/dev/null
    exit 1
}

# shellcheck source=real_window_checks.sh
. "$(dirname "$0")/real_window_checks.sh"
program_running() { kill -0 "$program_pid" 2>/dev/null; }
program_ended() { ! program_running; }

lines_recorded() {
    local text
    text=$(ls "$records"/1/*.txt 2>/dev/null | head -1)
    [ -n "$text" ] && [ "$(wc -l <"$text")" -ge "$1" ]
}

preview_listed() { wmctrl -l 2>/dev/null | grep -q " Camera output$"; }

milliseconds() { date +%s%3N; }

# Sleeps until the given time in milliseconds, or not at all when it has passed.
sleep_until() {
    local left=$(($1 - $(milliseconds)))
    [ "$left" -gt 0 ] && sleep "$((left / 1000)).$(printf %03d $((left % 1000)))"
    return 0
}

lines_now() { cat "$records"/1/*.txt 2>/dev/null | wc -l; }

frames_in() {
    ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
        -of csv=p=0 "$1"
}

one_file() {
    local files=("$records"/1/*."$1")
    [ ${#files[@]} -eq 1 ] && [ -f "${files[0]}" ] || fail "no single .$1 file in folder 1"
    echo "${files[0]}"
}

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
wait_for 300 wmctrl -m >/dev/null 2>&1 || fail "the window manager did not start within 30 s"

arguments=()
# A video far longer than the test, so that the end comes while it records.
case $mode in
    idle) ;;
    recording) arguments=(--source test:320x240@30 "$records" 600) ;;
    *) arguments=(--source test "$records" 600) ;;
esac
# With job control on, the program starts with SIGINT not ignored, as from a terminal.
set -m
QT_QPA_PLATFORM=xcb "$program" "${arguments[@]}" 2>"$work/messages" &
program_pid=$!
pids+=("$program_pid")
wait_for 200 window_listed || fail "no window titled \"eyeblink recorder\" within 20 s"

if [ "$mode" != idle ]; then
    record_with_preview
    wait_for 300 lines_recorded 1 || fail "no recording in folder 1 within 30 s"
    started=$(milliseconds)
    wait_for 300 lines_recorded 30 || fail "no second of recording in folder 1 within 30 s"
    preview_listed || fail "the preview is not shown while recording"
fi

case $mode in
    idle | recording)
        wmctrl -c "eyeblink recorder" || fail "the window manager could not close the window" ;;
    sigterm | sigint | sighup) kill -s "${mode^^}" "$program_pid" ;;
    sigkill)
        # Lower bounds only: a late wake-up makes the gap before the kill longer.
        sleep_until $((started + 3500))
        noted=$(lines_now)
        sleep 1.5
        kill -KILL "$program_pid" ;;
    twice)
        # Held while both arrive, the program gets them together when it goes on.
        kill -STOP "$program_pid"
        kill -INT "$program_pid"
        kill -TERM "$program_pid"
        kill -CONT "$program_pid" ;;
    *) fail "unknown mode $mode" ;;
esac
wait_for 300 program_ended || fail "the program still runs 30 s after it was asked to end"
wait "$program_pid"
status=$?

case $mode in
    sigkill)
        [ "$status" -eq 137 ] || fail "exit code $status after SIGKILL"
        video=$(one_file avi)
        lines=$(wc -l <"$(one_file txt)")
        frames=$(frames_in "$video")
        [ -n "$frames" ] && [ "$frames" -ge "$noted" ] ||
            fail "killed: the video holds ${frames:-no} frames, the text file had $noted lines 1.5 s before"
        # Never a line for a frame that the video lacks; the lines wait for the frames to be
        # in the file, which takes up to a second, and three are allowed on a busy machine.
        [ "$lines" -le "$frames" ] || fail "killed: $lines lines but only $frames frames in the video"
        [ $((frames - lines)) -le 90 ] ||
            fail "killed: $frames frames in the video but only $lines lines"
        grep -q '"result": "unfinished"' "$(one_file json)" ||
            fail "killed: the run record written at the start does not say \"unfinished\""
        echo "killed 5 s into the recording: $frames frames in the video ($(stat -c %s "$video")" \
            "bytes), $lines lines; $noted lines 1.5 s before the kill"
        exit 0 ;;
    twice)
        # Killed by whichever of the two came second.
        [ "$status" -eq $((128 + 2)) ] || [ "$status" -eq $((128 + 15)) ] ||
            fail "exit code $status after two requests to end"
        echo "two requests to end: the second ended the program at once (exit code $status)"
        exit 0 ;;
esac
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
frames=$(frames_in "$(one_file avi)")
lines=$(wc -l <"$(one_file txt)")
[ "$frames" -ge 30 ] || fail "the video holds $frames frames"
[ "$frames" -eq "$lines" ] || fail "$frames frames in the video but $lines lines"
how="closed by the window manager"
[ "$mode" = recording ] || how="ended by ${mode^^}"
echo "$how while recording: exit code 0, messages in order, $frames frames and as many lines"
