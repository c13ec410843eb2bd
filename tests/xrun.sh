#!/usr/bin/env bash
# Runs one test program on a private Xvfb display with IceWM, so widget, web
# engine and tray tests see a real window manager and notification area, and
# with a private sound server whose sound the tests can hear.
#   xrun.sh [--session-bus] program [args...]
# --session-bus runs the program on a private session bus of its own (for
# trays on D-Bus); otherwise it has none. XRUN_SCREEN sets the screen's size
# (1280x1024 unless set).
set -u
session_bus=""
if [ "${1:-}" = --session-bus ]; then
    session_bus=1
    shift
fi
tmp=$(mktemp -d)
pulse=""
trap 'kill $wm $xvfb $pulse 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"' EXIT
Xvfb -displayfd 3 -screen 0 "${XRUN_SCREEN:-1280x1024}x24" -nolisten tcp 3>"$tmp/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$tmp/display")"
# No session bus here (a --session-bus program gets its own below); stop
# the engine from trying to start one.
export DBUS_SESSION_BUS_ADDRESS=disabled:
export HOME="$tmp" XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# A sound server of its own whose default sink is a null sink: the web engine plays into it and
# tests listen to its monitor (tests/support/soundprobe.h). Without pulseaudio there is none, and
# those tests say so.
if command -v pulseaudio >/dev/null; then
    export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
    export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
    mkdir -p "$PULSE_RUNTIME_PATH"
    pulseaudio -n --daemonize=no --system=no --use-pid-file=no --exit-idle-time=-1 --realtime=no \
        --high-priority=no --log-target="file:$tmp/pulse.log" \
        --load="module-null-sink sink_name=tests rate=44100 channels=2" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$PULSE_RUNTIME_PATH/native" &
    pulse=$!
    for _ in $(seq 100); do [ -S "$PULSE_RUNTIME_PATH/native" ] && break; sleep 0.05; done
fi
# IceWM has been seen, rarely on a busy machine, not to come up at all: it
# gets a second start, and what it said the first time is kept in the log.
for _ in 1 2; do
    icewm -c /dev/null >"$tmp/icewm.log" 2>&1 &
    wm=$!
    # The tray exists once IceWM owns the system-tray selection.
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break 2
        sleep 0.05
    done
    echo "xrun.sh: IceWM did not come up: $(cat "$tmp/icewm.log")" >&2
    kill $wm 2>/dev/null
done
# The notification area lives in IceWM's taskbar, which comes up after the
# WM itself; on a busy machine that can take seconds.
for _ in $(seq 200); do
    xdotool search --name '^TaskBar$' >/dev/null 2>&1 && break
    sleep 0.05
done
sleep 0.3
# A program that dies of a signal leaves its stacks in the log, so a rare
# crash can be read from the run that met it.
ulimit -c unlimited 2>/dev/null || true
if [ -n "$session_bus" ]; then
    dbus-run-session --config-file="$(dirname "$0")/session-bus.conf" -- "$@"
else
    "$@"
fi
rc=$?
if [ "$rc" -gt 128 ]; then
    for core in $(find . -maxdepth 1 -name 'core*' -newer "$tmp/display" 2>/dev/null); do
        command -v gdb >/dev/null && gdb -q -batch -ex "thread apply all bt 30" "$1" "$core" 2>&1 | head -400
        rm -f "$core"
    done
fi
exit "$rc"
