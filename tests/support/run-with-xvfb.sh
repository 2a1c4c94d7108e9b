#!/bin/sh
# Runs a command on a private X server (Xvfb) with a window manager, for
# tests that need real X11 windows: placement, struts, window types, the
# tray. CI runs as root with no display; this script brings its own.
#
#   run-with-xvfb.sh <command> [args...]
#
# The command sees DISPLAY (the private server), QT_QPA_PLATFORM=xcb,
# TIDEWIRE_DISPLAY_TEST=xvfb and TIDEWIRE_WM (the window manager that runs).
# When Xvfb, the window manager, xprop or xdotool is missing, the command
# still runs, with TIDEWIRE_DISPLAY_TEST=missing:<what is missing> and no
# display, so the tests can skip with that reason instead of passing
# silently. The server picks a free display number itself (-displayfd), so
# any number of these runs can go on at once (ctest -j).
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
# TIDEWIRE_XVFB_MONITORS=<n> splits that screen into n monitors side by
# side, of equal width, before the window manager starts (IceWM places its
# taskbar on the first one then, and takes no later split in).
# TIDEWIRE_WM chooses the window manager: openbox (the default), xfwm4, i3,
# fluxbox, icewm, metacity or kwin (kwin_x11). Each runs with settings of this
# run's own, in a home and configuration folder and on a session bus of its
# own, so a user's settings never change what the tests see:
# - openbox: a copy of the system's rc.xml, named by TIDEWIRE_OPENBOX_CONFIG,
#   which tests may edit and have it read again (openbox --reconfigure);
# - fluxbox: its toolbar along the top edge, 20 pixels high, over no window;
# - icewm: its taskbar along the bottom edge;
# - i3: no bar; xfwm4, metacity, kwin: their built-in defaults, no compositing.
# In the test, check TIDEWIRE_DISPLAY_TEST first: GTEST_SKIP with the reason
# after "missing:", and fail when it is not "xvfb" (run outside ctest).
set -eu

wm_name=${TIDEWIRE_WM:-openbox}
case "$wm_name" in
openbox | xfwm4 | i3 | fluxbox | icewm | metacity) wm_program=$wm_name ;;
kwin) wm_program=kwin_x11 ;;
*)
    echo "run-with-xvfb: unknown window manager TIDEWIRE_WM=$wm_name" >&2
    exit 2
    ;;
esac

missing=""
for tool in Xvfb "$wm_program" xprop xdotool; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    echo "run-with-xvfb: not installed:$missing" >&2
    TIDEWIRE_DISPLAY_TEST="missing:$missing (install them with scripts/install-deps)" exec "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tidewire-xvfb.XXXXXX")
xvfb=""
wm=""
bus=""
# Whether process $1 still runs (an ended child stays a zombie until it is
# waited for).
running() {
    [ -r "/proc/$1/stat" ] && ! sed 's/^.*) //' "/proc/$1/stat" 2>/dev/null | grep -q '^Z'
}
# Ends process $1: asked first, then, after five seconds, made to. fluxbox
# can hang for good in its own handler of the request to end, and a wait
# for it would hold the test until its time runs out.
stop() {
    kill "$1" 2>/dev/null || return 0
    tries=0
    while running "$1" && [ "$tries" -lt 100 ]; do
        tries=$((tries + 1))
        sleep 0.05
    done
    kill -9 "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
cleanup() {
    [ -z "$wm" ] || stop "$wm"
    [ -z "$xvfb" ] || stop "$xvfb"
    # The bus ends the services it started (xfconfd) as it goes.
    [ -z "$bus" ] || stop "$bus"
    # A settings daemon of the bus (xfconfd) may still be writing its last
    # save into the folder as it goes.
    rm -rf "$work" 2>/dev/null || { sleep 0.5 && rm -rf "$work"; }
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

monitors=${TIDEWIRE_XVFB_MONITORS:-1}
if [ "$monitors" -gt 1 ]; then
    size=$(echo "${TIDEWIRE_XVFB_SCREEN:-1920x1080x24}" | cut -dx -f1,2)
    each=$((${size%x*} / monitors))
    monitor=0
    while [ "$monitor" -lt "$monitors" ]; do
        # The first monitor shows Xvfb's one output; the others show none.
        output=none
        [ "$monitor" -gt 0 ] || output=screen
        xrandr --setmonitor "monitor-$((monitor + 1))" "$each/300x${size#*x}/200+$((monitor * each))+0" "$output" \
            >>"$work/xrandr.log" 2>&1 || give_up "xrandr could not split the screen into monitors"
        monitor=$((monitor + 1))
    done
fi

# The window manager's own home, settings and caches, and a session bus of
# its own: settings daemons (xfconf, dconf) started on it read this run's
# folders, never a user's, and nothing is left running.
mkdir -p "$work/home" "$work/config" "$work/data" "$work/cache"
# Run in the subshell that then becomes the program (exec), so that $! is
# the program's own process id.
wm_env() {
    export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
        XDG_CACHE_HOME="$work/cache" GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1 GTK_A11Y=none
}
bus_address="unix:path=$work/no-session-bus"
if command -v dbus-daemon >/dev/null 2>&1; then
    (wm_env && exec dbus-daemon --session --nofork --print-address=3) 3>"$work/bus" >"$work/bus.log" 2>&1 &
    bus=$!
    tries=0
    until [ -s "$work/bus" ]; do
        tries=$((tries + 1))
        kill -0 "$bus" 2>/dev/null || give_up "the window manager's session bus exited"
        [ "$tries" -le 200 ] || give_up "the window manager's session bus did not start"
        sleep 0.05
    done
    bus_address=$(head -n 1 "$work/bus")
fi
start_wm() {
    (wm_env && DBUS_SESSION_BUS_ADDRESS="$bus_address" && export DBUS_SESSION_BUS_ADDRESS && exec "$@") \
        >"$work/wm.log" 2>&1 &
    wm=$!
}

# Settings of this run's own; openbox's is a copy of the system's, which
# tests may edit and have it read again. Each window manager is ready once
# it has set its check window on the root and, for some, once it shows what
# it sets up last (openbox its theme, fluxbox and IceWM their bars in the
# work area): until then, on a loaded machine, windows mapped by a test may
# wait seconds to be taken on, or be placed before the bars are there.
screen_height=$(echo "${TIDEWIRE_XVFB_SCREEN:-1920x1080x24}" | cut -dx -f2)
wm_ready() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' || return 1
    case "$wm_name" in
    openbox) xprop -root _OB_THEME 2>/dev/null | grep -q ' = ' ;;
    fluxbox) xprop -root _NET_WORKAREA 2>/dev/null | grep -q ' = 0, 20, ' ;;
    icewm)
        height=$(xprop -root _NET_WORKAREA 2>/dev/null | sed -n 's/^[^=]*= [0-9]*, [0-9]*, [0-9]*, \([0-9]*\).*/\1/p')
        [ -n "$height" ] && [ "$height" -lt "$screen_height" ]
        ;;
    *) true ;;
    esac
}
case "$wm_name" in
openbox)
    config=""
    for candidate in /etc/xdg/openbox/rc.xml /usr/share/openbox/rc.xml; do
        if [ -f "$candidate" ]; then
            cp "$candidate" "$work/rc.xml"
            config="$work/rc.xml"
            break
        fi
    done
    if [ -n "$config" ]; then
        export TIDEWIRE_OPENBOX_CONFIG="$config"
        start_wm openbox --sm-disable --config-file "$config"
    else
        start_wm openbox --sm-disable
    fi
    ;;
xfwm4)
    start_wm xfwm4 --compositor=off --sm-client-disable
    ;;
i3)
    # Without the version line i3 takes the file for an old one, converts
    # it and adds a bar.
    cat >"$work/i3.config" <<'I3'
# i3 config file (v4)
font pango:DejaVu Sans 8
focus_follows_mouse no
I3
    start_wm i3 -c "$work/i3.config"
    ;;
fluxbox)
    # Its folder in the home must exist, or it replaces the settings given
    # with the system's. A style of its own: the system's set a wallpaper
    # through a helper that stays behind.
    fluxbox_dir="$work/home/.fluxbox"
    mkdir -p "$fluxbox_dir"
    : >"$fluxbox_dir/keys"
    : >"$fluxbox_dir/menu"
    : >"$fluxbox_dir/apps"
    printf 'background: solid\nbackground.color: #202020\ntoolbar.borderWidth: 0\n' >"$fluxbox_dir/style"
    cat >"$fluxbox_dir/init" <<FLUXBOX
session.configVersion: 13
session.keyFile: $fluxbox_dir/keys
session.menuFile: $fluxbox_dir/menu
session.appsFile: $fluxbox_dir/apps
session.styleFile: $fluxbox_dir/style
session.styleOverlay: $fluxbox_dir/style
session.screen0.rootCommand:
session.screen0.workspaces: 2
session.screen0.toolbar.visible: true
session.screen0.toolbar.placement: TopCenter
session.screen0.toolbar.height: 20
session.screen0.toolbar.widthPercent: 100
session.screen0.toolbar.autoHide: false
session.screen0.toolbar.maxOver: false
FLUXBOX
    start_wm fluxbox -rc "$fluxbox_dir/init"
    ;;
icewm)
    mkdir -p "$work/icewm"
    cat >"$work/icewm/preferences" <<'ICEWM'
ShowTaskBar=1
TaskBarAtTop=0
TaskBarAutoHide=0
ICEWM
    start_wm env ICEWM_PRIVCFG="$work/icewm" icewm --config="$work/icewm/preferences"
    ;;
metacity)
    start_wm metacity --sm-disable --no-composite
    ;;
kwin)
    start_wm env KWIN_COMPOSE=N kwin_x11
    ;;
esac
export TIDEWIRE_WM="$wm_name"
# Tests that need the window manager held still stop and continue it.
export TIDEWIRE_WM_PID="$wm"
tries=0
until wm_ready; do
    tries=$((tries + 1))
    kill -0 "$wm" 2>/dev/null || give_up "$wm_name exited"
    [ "$tries" -le 1200 ] || give_up "$wm_name did not start managing windows"
    sleep 0.05
done

unset WAYLAND_DISPLAY
status=0
QT_QPA_PLATFORM=xcb TIDEWIRE_DISPLAY_TEST=xvfb "$@" || status=$?
# A window manager gone during the run fails every test after it: say so,
# and on a failure show what the servers wrote, before the folder goes.
if ! running "$wm"; then
    echo "run-with-xvfb: $wm_name exited during the run" >&2
fi
if [ "$status" -ne 0 ] || ! running "$wm"; then
    cat "$work"/*.log >&2 2>/dev/null || true
fi
exit "$status"
