#!/usr/bin/env bash
# Opening and closing the settings window in Tidewire as ./run.sh builds it
# (Release), on a private Xvfb display of 1920x1080 with openbox, against the
# sample catalogue server on loopback.
#
#   bench/settings_bench.sh [build-dir] [rounds]   (default: build-release, 5)
#
# Each round clicks the strip's gear, waits for the window's first frame,
# then closes the window with the window manager's close key (Alt+F4) and
# waits until it is gone. Reports:
#   - per round, the time from the request reaching the settings window
#     manager to the window's first painted frame (the app logs "settings
#     window requested" and "settings window first frame" on the
#     tidewire.client.launch debug category, with the process's own clock);
#   - private anonymous resident memory of the app before the first opening
#     and after each close (Anonymous in /proc/<pid>/smaps_rollup), each read
#     1 s after the strip settled or the window went.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
rounds=${2:-5}

if [ ! -x "$build/src/app/tidewire" ] || [ ! -x "$build/tools/catalogue-server/catalogue-server" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIDEWIRE_TESTS=OFF -DTIDEWIRE_BENCH=OFF >/dev/null
    cmake --build "$build" --target tidewire catalogue-server
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tidewire-settings-bench.XXXXXX")
xvfb="" wm="" server="" app=""
stop() { [ -z "$1" ] || { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }; }
cleanup() { stop "$app"; stop "$server"; stop "$wm"; stop "$xvfb"; rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 130' INT TERM

wait_for() {  # wait_for <tries of 20 ms> <command...>
    local tries=$1; shift
    until "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.02
    done
}

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
wait_for 500 test -s "$work/display" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
wait_for 500 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' \
    || { echo "openbox did not start" >&2; exit 1; }

"$build/tools/catalogue-server/catalogue-server" --port 0 >"$work/server.out" 2>/dev/null &
server=$!
wait_for 250 test -s "$work/server.out" || { echo "catalogue server did not start" >&2; exit 1; }
base=$(head -n 1 "$work/server.out")
export TIDEWIRE_API_BASE="$base" TIDEWIRE_FAVICON_BASE="$base" TIDEWIRE_FINNHUB_BASE="$base"
export TIDEWIRE_COINGECKO_BASE="$base" TIDEWIRE_ITUNES_BASE="$base"
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data"
export QT_LOGGING_RULES="tidewire.client.launch.debug=true"
export QT_MESSAGE_PATTERN="%{time process} %{message}"
# Not a first launch: the settings window opens only when asked for.
mkdir -p "$XDG_CONFIG_HOME/tidewire"
echo '{"hasLaunchedBefore": true}' >"$XDG_CONFIG_HOME/tidewire/defaults.json"

log="$work/app.log"
"$build/src/app/tidewire" >/dev/null 2>"$log" &
app=$!
logged() { local n; n=$(grep -c "$1" "$log" 2>/dev/null); [ "${n:-0}" -ge "$2" ]; }
wait_for 1500 logged "first headlines frame" 1 || { echo "the strip never showed" >&2; cat "$log" >&2; exit 1; }
sleep "${TIDEWIRE_BENCH_SETTLE:-10}"  # past start-up: favicons, thumbnails, the snapshot write
anon() { awk '/^Anonymous:/ { print $2 }' "/proc/$app/smaps_rollup"; }
settings_window() { xdotool search --onlyvisible --name '^Tidewire Settings$' 2>/dev/null | head -n 1; }
no_settings_window() { [ -z "$(settings_window)" ]; }

before_kb=$(anon)
after_kb=()
for round in $(seq 1 "$rounds"); do
    # The gear sits at the left end of the strip's brand block.
    xdotool mousemove 18 36 click 1
    wait_for 500 logged "settings window first frame" "$round" \
        || { echo "round $round: the settings window never painted" >&2; cat "$log" >&2; exit 1; }
    wait_for 250 sh -c '[ -n "$(xdotool search --onlyvisible --name "^Tidewire Settings$" 2>/dev/null)" ]' \
        || { echo "round $round: no window named Tidewire Settings" >&2; exit 1; }
    xdotool mousemove 960 700
    sleep 0.5
    # The window manager's close key on the active window, which the settings
    # window is once opened.
    xdotool key alt+F4
    wait_for 250 no_settings_window || { echo "round $round: the window did not close" >&2; exit 1; }
    sleep 1
    after_kb+=("$(anon)")
done

grep -E "settings window (requested|first frame)" "$log" | awk '
    /requested/ { start = $1 }
    /first frame/ { n++; printf "round %d: request to first frame %6.1f ms\n", n, ($1 - start) * 1000 }'
printf "private anonymous memory before opening: %8.2f MiB\n" "$(awk -v kb="$before_kb" 'BEGIN { print kb / 1024 }')"
for i in "${!after_kb[@]}"; do
    awk -v kb="${after_kb[$i]}" -v b="$before_kb" -v n="$((i + 1))" \
        'BEGIN { printf "after close %d:                          %8.2f MiB (%+.2f MiB)\n", n, kb / 1024, (kb - b) / 1024 }'
done
