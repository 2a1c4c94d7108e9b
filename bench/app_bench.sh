#!/usr/bin/env bash
# Start-up time, CPU and memory of Tidewire as ./run.sh builds it (Release),
# on a private Xvfb display of 1920x1080 with openbox, against the sample
# catalogue server on loopback, at the default speed (1 = 60 px/s).
#
#   bench/app_bench.sh [build-dir]      (default: build-release; built if missing)
#
# Reports:
#   - time from process start to the strip's first frame, without and then
#     with a stored snapshot (the app logs "first strip frame" on the
#     tidewire.client.launch debug category; the log is polled every 5 ms);
#   - CPU of the app and of the X server over 20 s of steady scrolling
#     (% of one core, from /proc/<pid>/stat);
#   - private anonymous resident memory of the app one minute after start
#     (Anonymous in /proc/<pid>/smaps_rollup).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}

if [ ! -x "$build/src/app/tidewire" ] || [ ! -x "$build/tools/catalogue-server/catalogue-server" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIDEWIRE_TESTS=OFF -DTIDEWIRE_BENCH=OFF >/dev/null
    cmake --build "$build" --target tidewire catalogue-server
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tidewire-bench.XXXXXX")
xvfb="" wm="" server="" app=""
stop() { [ -z "$1" ] || { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }; }
cleanup() { stop "$app"; stop "$server"; stop "$wm"; stop "$xvfb"; rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 130' INT TERM

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
wait_for() {  # wait_for <tries of 50 ms> <command...>
    local tries=$1; shift
    until "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.05
    done
}

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
wait_for 200 test -s "$work/display" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
wait_for 200 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' \
    || { echo "openbox did not start" >&2; exit 1; }

"$build/tools/catalogue-server/catalogue-server" --port 0 >"$work/server.out" 2>/dev/null &
server=$!
wait_for 100 test -s "$work/server.out" || { echo "catalogue server did not start" >&2; exit 1; }
base=$(head -n 1 "$work/server.out")
export TIDEWIRE_API_BASE="$base" TIDEWIRE_FAVICON_BASE="$base" TIDEWIRE_FINNHUB_BASE="$base"
export TIDEWIRE_COINGECKO_BASE="$base" TIDEWIRE_ITUNES_BASE="$base"
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data"
export QT_LOGGING_RULES="tidewire.client.launch.debug=true"

# Starts the app (in $app) and stores the milliseconds to its first strip
# frame in $frame_ms.
launch() {
    local log="$work/app-$1.log" start
    start=$(now_ms)
    "$build/src/app/tidewire" >/dev/null 2>"$log" &
    app=$!
    if ! wait_until_logged "$log"; then
        echo "the strip never showed; app log:" >&2
        cat "$log" >&2
        exit 1
    fi
    frame_ms=$(( $(now_ms) - start ))
}
wait_until_logged() {
    local tries=6000
    until grep -q "first strip frame" "$1"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        kill -0 "$app" 2>/dev/null || return 1
        sleep 0.005
    done
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

launch cold
cold=$frame_ms
sleep 3  # the refreshed snapshot is written in the meantime
stop "$app"; app=""

started=$(now_ms)
launch warm
warm=$frame_ms
sleep 10  # past start-up, into steady scrolling
hz=$(getconf CLK_TCK)
app0=$(cpu_ticks "$app"); x0=$(cpu_ticks "$xvfb")
sleep 20
app1=$(cpu_ticks "$app"); x1=$(cpu_ticks "$xvfb")
rest=$(( 60000 - ($(now_ms) - started) ))
[ "$rest" -le 0 ] || sleep "$(awk -v ms="$rest" 'BEGIN { print ms / 1000 }')"
anon_kb=$(awk '/^Anonymous:/ { print $2 }' "/proc/$app/smaps_rollup")

awk -v cold="$cold" -v warm="$warm" -v a="$((app1 - app0))" -v x="$((x1 - x0))" -v hz="$hz" -v kb="$anon_kb" 'BEGIN {
    printf "first strip frame, no snapshot:   %6d ms\n", cold
    printf "first strip frame, with snapshot: %6d ms\n", warm
    printf "CPU over 20 s, app:               %6.1f %%\n", 100 * a / hz / 20
    printf "CPU over 20 s, X server:          %6.1f %%\n", 100 * x / hz / 20
    printf "CPU over 20 s, together:          %6.1f %%\n", 100 * (a + x) / hz / 20
    printf "private anonymous memory at 60 s: %6.1f MiB\n", kb / 1024
}'
