#!/usr/bin/env bash
# Starts the real program under a virtual X server with a window manager, closes its main
# window from outside the way a window manager does, and checks that the program ends by
# itself, in order, with exit code 0.
# Usage: shutdown_real_window.sh PROGRAM [ARGUMENT...]
set -u
if [ -z "${EYEBLINK_UNDER_XVFB:-}" ]; then
    EYEBLINK_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

program=$1
shift
work=$(mktemp -d)
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

# Each message exactly once, and in the order given.
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

QT_QPA_PLATFORM=xcb "$program" "$@" 2>"$work/messages" &
program_pid=$!
pids+=("$program_pid")
wait_for 200 window_listed || fail "no window titled \"eyeblink recorder\" within 20 s"

wmctrl -c "eyeblink recorder" || fail "the window manager could not close the window"
wait_for 300 program_ended || fail "the program still runs 30 s after its window was closed"
wait "$program_pid"
status=$?
[ "$status" -eq 0 ] || fail "exit code $status"

in_order "MW:finish emitted" "Kivo app destructor" "MW: destructor"
in_order "MW:finish emitted" "BD: quit" "BD: finish emitted" "BD: destructor"
if grep -qxF "thread still runnning, terminating" "$work/messages"; then
    in_order "Kivo app destructor" "thread still runnning, terminating" "thread terminated" \
        "thread deleted" "MW: destructor"
fi
echo "closed by the window manager: exit code 0, messages in order"
