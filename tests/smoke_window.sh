#!/bin/sh
# Starts the real editor on the X server in $DISPLAY, checks its window, and
# leaves it through File > Exit, expecting exit code 0. Waits by polling, each
# wait with a time limit.
#
# usage: smoke_window.sh LUMIVEX SCREENSHOT_PNG
set -u
exe=$1
shot=$2

fail() {
    echo "FAIL: $*" >&2
    kill "$pid" 2>/dev/null
    exit 1
}

# poll SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds.
poll() {
    tries=$(($1 * 10))
    shift
    while [ "$tries" -gt 0 ]; do
        "$@" >/dev/null 2>&1 && return 0
        tries=$((tries - 1))
        sleep 0.1
    done
    return 1
}

"$exe" &
pid=$!

wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Lumivex$' | head -n 1)
[ -n "$wid" ] || fail "no window titled Lumivex appeared"
eval "$(xdotool getwindowgeometry --shell "$wid")"
[ "$WIDTH" = 1000 ] && [ "$HEIGHT" = 700 ] || fail "window is ${WIDTH}x${HEIGHT}, expected 1000x700"
import -window root "$shot" || fail "no screenshot"

# File > Exit: open the File menu, wait for it, then its last item.
windows_before=$(xdotool search --onlyvisible --pid "$pid" | wc -l)
menu_open() { [ "$(xdotool search --onlyvisible --pid "$pid" | wc -l)" -gt "$windows_before" ]; }
xdotool mousemove --window "$wid" 20 9 click 1
poll 10 menu_open || fail "the File menu did not open"
xdotool key Up Return
poll 10 sh -c "! kill -0 $pid" || fail "File > Exit did not end the program"
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "exit code $status"
echo "PASS: window 1000x700 titled Lumivex, File > Exit ended it with code 0"
