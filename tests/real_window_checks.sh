# What the real-window tests share; sourced, not run.

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

# The main window is on the screen, as the window manager lists it.
window_listed() { wmctrl -l 2>/dev/null | grep -q " eyeblink recorder$"; }
