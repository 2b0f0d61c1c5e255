#!/usr/bin/env bash
# Starts the real program under a virtual X server and waits for its main window.
set -u
program=$1
export QT_QPA_PLATFORM=xcb
exec "$(dirname "$0")/virtual_display.sh" bash -c '
    "$0" & pid=$!
    for _ in $(seq 300); do
        if xdotool search --name "^eyeblink recorder$" >/dev/null 2>&1; then
            echo "window \"eyeblink recorder\" is shown"
            kill $pid; wait $pid 2>/dev/null
            exit 0
        fi
        kill -0 $pid 2>/dev/null || { echo "program ended before showing its window"; exit 1; }
        sleep 0.2
    done
    echo "no window titled \"eyeblink recorder\" within 60 s"
    kill $pid
    exit 1
' "$program"
