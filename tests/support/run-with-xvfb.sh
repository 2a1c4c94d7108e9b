#!/bin/sh
# Runs a command on a private X server (Xvfb) with a window manager (openbox),
# for tests that need real X11 windows: placement, struts, window types, the
# tray. CI runs as root with no display; this script brings its own.
#
#   run-with-xvfb.sh <command> [args...]
#
# The command sees DISPLAY (the private server), QT_QPA_PLATFORM=xcb and
# TIDEWIRE_DISPLAY_TEST=xvfb. When Xvfb, openbox, xprop or xdotool is missing,
# the command still runs, with TIDEWIRE_DISPLAY_TEST=missing:<what is
# missing> and no display, so the tests can skip with that reason instead of
# passing silently. The server picks a free display number itself
# (-displayfd), so any number of these runs can go on at once (ctest -j).
#
# Register a window test with it like this (one executable, not discovered
# per test, because the whole binary shares one X server):
#   add_executable(ticker_window_tests window/StripWindowTest.cpp)
#   target_link_libraries(ticker_window_tests PRIVATE tidewire_testsupport tidewire_ticker)
#   add_test(NAME ticker.StripWindow.xvfb
#            COMMAND ${PROJECT_SOURCE_DIR}/tests/support/run-with-xvfb.sh
#                    $<TARGET_FILE:ticker_window_tests>)
#   set_tests_properties(ticker.StripWindow.xvfb PROPERTIES TIMEOUT 120)
# TIDEWIRE_XVFB_SCREEN sets the screen's size and depth (default 1920x1080x24)
# for tests that need a larger desktop.
# TIDEWIRE_OPENBOX_CONFIG names the window manager's settings file (rc.xml)
# when it runs with one of this run's own.
# In the test, check TIDEWIRE_DISPLAY_TEST first: GTEST_SKIP with the reason
# after "missing:", and fail when it is not "xvfb" (run outside ctest).
set -eu

missing=""
for tool in Xvfb openbox xprop xdotool; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    echo "run-with-xvfb: not installed:$missing" >&2
    TIDEWIRE_DISPLAY_TEST="missing:$missing (install them with scripts/install-deps)" exec "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tidewire-xvfb.XXXXXX")
xvfb=""
wm=""
cleanup() {
    [ -z "$wm" ] || kill "$wm" 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    [ -z "$wm" ] || wait "$wm" 2>/dev/null || true
    [ -z "$xvfb" ] || wait "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

give_up() {
    echo "run-with-xvfb: $1" >&2
    cat "$work"/*.log >&2 2>/dev/null || true
    exit 1
}

# Xvfb writes the display number it chose to fd 3 once it accepts clients.
# The waits below give up only after a minute: on a loaded machine starting
# a server can take many seconds, and a wait that succeeds ends at once.
Xvfb -displayfd 3 -screen 0 "${TIDEWIRE_XVFB_SCREEN:-1920x1080x24}" -nolisten tcp -noreset \
    3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
tries=0
until [ -s "$work/display" ]; do
    tries=$((tries + 1))
    kill -0 "$xvfb" 2>/dev/null || give_up "Xvfb exited"
    [ "$tries" -le 1200 ] || give_up "Xvfb did not report a display"
    sleep 0.05
done
DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
export DISPLAY

# The window manager reads its settings from a copy of the system's, which
# tests may edit and have it read again (openbox --reconfigure), so a user's
# own settings never change what the tests see.
config=""
for candidate in /etc/xdg/openbox/rc.xml /usr/share/openbox/rc.xml; do
    if [ -f "$candidate" ]; then
        cp "$candidate" "$work/rc.xml"
        config="$work/rc.xml"
        break
    fi
done
# The window manager is ready once it has set its check window on the root
# and, after that, loaded its theme (_OB_THEME): until then, on a loaded
# machine, windows mapped by a test may wait seconds to be taken on.
if [ -n "$config" ]; then
    export TIDEWIRE_OPENBOX_CONFIG="$config"
    openbox --sm-disable --config-file "$config" >"$work/openbox.log" 2>&1 &
else
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
fi
wm=$!
# Tests that need the window manager held still stop and continue it.
export TIDEWIRE_WM_PID="$wm"
tries=0
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' &&
    xprop -root _OB_THEME 2>/dev/null | grep -q ' = '; do
    tries=$((tries + 1))
    kill -0 "$wm" 2>/dev/null || give_up "openbox exited"
    [ "$tries" -le 1200 ] || give_up "openbox did not start managing windows"
    sleep 0.05
done

unset WAYLAND_DISPLAY
status=0
QT_QPA_PLATFORM=xcb TIDEWIRE_DISPLAY_TEST=xvfb "$@" || status=$?
exit "$status"
