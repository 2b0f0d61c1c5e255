#!/usr/bin/env bash
# Runs a command on a virtual X server of its own and returns the command's exit status.
# The server picks a free display number itself (-displayfd), so that several of these may
# start at the same moment on one machine without taking each other's display.
# Usage: virtual_display.sh COMMAND [ARGUMENT]...
set -u
numberFile=$(mktemp)
serverLog=$(mktemp)
trap 'rm -f "$numberFile" "$serverLog"; [ -n "${server:-}" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null' EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numberFile" 2>"$serverLog" &
server=$!
for _ in $(seq 300); do
    number=$(head -n 1 "$numberFile")
    [ -n "$number" ] && break
    kill -0 "$server" 2>/dev/null || { echo "FAIL: the virtual X server did not start"; cat "$serverLog"; exit 1; }
    sleep 0.1
done
[ -n "$number" ] || { echo "FAIL: the virtual X server gave no display within 30 s"; cat "$serverLog"; exit 1; }

DISPLAY=:$number "$@"
status=$?
if [ $status -ne 0 ]; then
    echo "--- virtual X server on :$number, $(kill -0 "$server" 2>/dev/null && echo running || echo ended):"
    cat "$serverLog"
fi
exit $status
