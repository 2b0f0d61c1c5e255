#!/usr/bin/env bash
# Starts the real program under a virtual X server with its standard output and error going
# into a pipe that nobody reads, as when its terminal does not take its text, and records 4 s
# from the test camera with a stimulus program that writes tens of MB to both of its outputs.
# The stimulus program must get through all of its output, the recording must end as usual by
# its timer (a line for every frame of its video, the run record "successful"), and closing the
# window must end the program with exit code 0.
# Usage: blocked_output_real_window.sh PROGRAM
set -u
if [ -z "${EYEBLINK_UNDER_XVFB:-}" ]; then
    EYEBLINK_UNDER_XVFB=1 exec "$(dirname "$0")/virtual_display.sh" "$0" "$@"
fi

program=$1
length=4
work=$(mktemp -d)
records=$work/records
mkdir "$records"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; exec 3>&-; rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*"
    echo "--- run record:"
    cat "$records"/1/*.json 2>/dev/null
    exit 1
}

# shellcheck source=real_window_checks.sh
. "$(dirname "$0")/real_window_checks.sh"
program_ended() { ! kill -0 "$program_pid" 2>/dev/null; }
record_ended() { grep -qE '"result": "(successful|failed)"' "$records"/1/*.json 2>/dev/null; }

# 30 MB to each of its outputs, as fast as they are taken, then a mark that it got through.
talkative=$work/talkative
cat >"$talkative" <<'EOF'
#!/bin/sh
yes "stimulus output line" | head -c 30000000 &
yes "stimulus error line" | head -c 30000000 >&2
wait
touch "$0.done"
EOF
chmod +x "$talkative"

# Held open for reading and writing here and never read: the pipe takes 64 KiB, then every
# write into it waits.
mkfifo "$work/pipe"
exec 3<>"$work/pipe"

openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
wait_for 300 wmctrl -m >/dev/null 2>&1 || fail "the window manager did not start within 30 s"

QT_QPA_PLATFORM=xcb "$program" --source test:320x240@30 "$records" "$length" >"$work/pipe" 2>&1 &
program_pid=$!
pids+=("$program_pid")
wait_for 200 window_listed || fail "no window titled \"eyeblink recorder\" within 20 s"
wid=$(xdotool search --name "^eyeblink recorder$" | head -1)
wait_for 10 timeout 2 xdotool windowactivate --sync "$wid" >/dev/null 2>&1 ||
    fail "the window did not become active"
# Focus starts on "Select directory"; four steps along the tab order reach the program's field,
# five more "New record".
xdotool key --delay 50 Tab Tab Tab Tab
xdotool type --delay 5 "$talkative"
xdotool key --delay 50 Tab Tab Tab Tab Tab space
pressed=$(date +%s)

# The run stops by its timer length + 5 s after the press; a slow machine gets more.
wait_for 600 record_ended || fail "the run record still says \"unfinished\" 60 s after the press"
took=$(($(date +%s) - pressed))
wait_for 600 test -e "$talkative.done" || fail "the stimulus program did not get through its output"

wmctrl -c "eyeblink recorder" || fail "the window manager could not close the window"
wait_for 300 program_ended || fail "the program still runs 30 s after its window was closed"
wait "$program_pid"
status=$?
[ "$status" -eq 0 ] || fail "exit code $status"

video=$(ls "$records"/1/*.avi)
text=$(ls "$records"/1/*.txt)
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
    -of csv=p=0 "$video")
lines=$(wc -l <"$text")
grep -q '"result": "successful"' "$records"/1/*.json || fail "the recording did not succeed"
# Recording runs about length + 5 s at 30 fps; lower bound only, for a busy machine.
[ "$frames" -ge $((length * 30)) ] || fail "the video holds $frames frames"
[ "$frames" -eq "$lines" ] || fail "$frames frames in the video but $lines lines"
echo "output into a pipe nobody reads: run ended ${took} s after the press, $frames frames and" \
    "as many lines, the program got through 60 MB of output, window closed, exit code 0"
