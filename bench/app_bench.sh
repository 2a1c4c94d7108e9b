#!/usr/bin/env bash
# Start-up time, CPU and memory of Tidewire as ./run.sh builds it (Release),
# on a private Xvfb display of 1920x1080 with openbox, against the sample
# catalogue server on loopback, at the default speed (1 = 60 px/s).
#
#   bench/app_bench.sh [build-dir]      (default: build-release; built if missing)
#
# Reports:
#   - time from process start to the first frame of the strip's scroller
#     that shows headlines, without and then with a stored snapshot (the app
#     logs "first headlines frame" on the tidewire.client.launch debug
#     category; the log is polled every 5 ms);
#   - CPU of the app and of the X server over 20 s of steady scrolling
#     (% of one core, from /proc/<pid>/stat);
#   - the same over 10 s with the pointer resting on the headlines (paused),
#     then over 10 s with the strip window unmapped (hidden), each after 1 s
#     to settle; the pointer is moved away and the window mapped again after;
#   - private anonymous resident memory of the app one minute after start,
#     that is after the scrolling, paused and hidden spells
#     (Anonymous in /proc/<pid>/smaps_rollup).
#
#   bench/app_bench.sh [build-dir] strips
#     CPU of the app and of the X server over 20 s of scrolling (after 10 s
#     to settle) at speed 1 and at speed 4, with the main strip alone and
#     with the second strip (market quotes) under it.
#
#   bench/app_bench.sh [build-dir] long-titles
#     Resident and private memory of the app 60 s after its first headlines
#     frame, at speed 10, with one personal feed of 20 items (served from
#     loopback, just under the 3 MB cap) whose titles are 100 KB each, and
#     the same run with a feed of 20 ordinary titles.
#
#   bench/app_bench.sh [build-dir] day
#     Both strips (the second with market quotes) at speed 8 until two full
#     cycles of the main strip have passed; private memory every minute, after
#     the first and after the second cycle, and the growth over the second.
#     A cycle is the main strip's period (from the scroller's debug log) at
#     8 × 60 px/s; CYCLE_SECONDS overrides it (a build that does not log it
#     needs it); CYCLES=1 stops after the first cycle. HEAPTRACK=1 runs the
#     app under heaptrack and keeps its data file in $HEAPTRACK_OUT (default:
#     the current folder); compare two such runs (one and two cycles) with
#     heaptrack_print -d to see which allocation sites grew.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
mode=${2:-startup}

if [ ! -x "$build/src/app/tidewire" ] || [ ! -x "$build/tools/catalogue-server/catalogue-server" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIDEWIRE_TESTS=OFF -DTIDEWIRE_BENCH=OFF >/dev/null
    cmake --build "$build" --target tidewire catalogue-server
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tidewire-bench.XXXXXX")
xvfb="" wm="" server="" app="" feed_server=""
stop() { [ -z "$1" ] || { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }; }
tracer=""
cleanup() { stop "$app"; stop "$tracer"; stop "$feed_server"; stop "$server"; stop "$wm"; stop "$xvfb"; rm -rf "$work"; }
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
export QT_LOGGING_RULES="tidewire.client.launch.debug=true;tidewire.client.marquee.debug=true"

# Starts the app (in $app) and stores the milliseconds to its first frame
# showing headlines in $frame_ms.
launch() {
    local log="$work/app-$1.log" start
    start=$(now_ms)
    if [ "${HEAPTRACK:-0}" = 1 ]; then
        heaptrack -o "${HEAPTRACK_OUT:-$PWD}/tidewire-heaptrack" "$build/src/app/tidewire" >"$work/heaptrack.out" 2>"$log" &
        app=$!
        # heaptrack's child is the app itself.
        wait_for 200 sh -c "pgrep -P $app -x tidewire >/dev/null" || { echo "heaptrack did not start the app" >&2; exit 1; }
        tracer=$app
        app=$(pgrep -P "$tracer" -x tidewire)
    else
        "$build/src/app/tidewire" >/dev/null 2>"$log" &
        app=$!
    fi
    if ! wait_until_logged "$log"; then
        echo "the strip never showed; app log:" >&2
        cat "$log" >&2
        exit 1
    fi
    frame_ms=$(( $(now_ms) - start ))
}
wait_until_logged() {
    local tries=6000
    until grep -qs "first headlines frame" "$1"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        kill -0 "$app" 2>/dev/null || return 1
        sleep 0.005
    done
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# Sleeps <seconds> and stores the CPU ticks the app and the X server used
# meanwhile in $app_ticks and $x_ticks.
measure_cpu() {
    local a0 x0
    a0=$(cpu_ticks "$app"); x0=$(cpu_ticks "$xvfb")
    sleep "$1"
    app_ticks=$(( $(cpu_ticks "$app") - a0 )); x_ticks=$(( $(cpu_ticks "$xvfb") - x0 ))
}
# The app's mapped top-level window (the strip).
strip_window() { xdotool search --onlyvisible --pid "$app" 2>/dev/null | awk 'NR == 1'; }
has_strip_window() { [ -n "$(strip_window)" ]; }

# Writes the settings file the next launch reads: scrolling speed, and the
# second strip with market quotes on or off.
write_settings() {  # write_settings <speed> <second strip: true|false>
    mkdir -p "$XDG_CONFIG_HOME/tidewire"
    cat >"$XDG_CONFIG_HOME/tidewire/defaults.json" <<JSON
{
    "scrollSpeed": $1,
    "secondTickerEnabled": $2,
    "stackedStripsJSON": "[{\\"mix\\":\\"markets\\",\\"speed\\":$1,\\"size\\":2,\\"background\\":\\"Black\\"}]"
}
JSON
}
anon_kb() { awk '/^Anonymous:/ { print $2 }' "/proc/$app/smaps_rollup"; }
mib() { awk -v kb="$1" 'BEGIN { printf "%.1f", kb / 1024 }'; }
hz=$(getconf CLK_TCK)
cpu_line() {  # cpu_line <label> <seconds>
    awk -v l="$1" -v a="$app_ticks" -v x="$x_ticks" -v hz="$hz" -v s="$2" 'BEGIN {
        printf "%-34s app %5.1f %%  X server %5.1f %%  together %5.1f %%\n", l, 100 * a / hz / s, 100 * x / hz / s,
            100 * (a + x) / hz / s }'
}

if [ "$mode" = strips ]; then
    for speed in 1 4; do
        for both in false true; do
            write_settings "$speed" "$both"
            launch "strips-$speed-$both"
            sleep 10
            measure_cpu 20
            label="speed $speed, $([ "$both" = true ] && echo "both strips" || echo "main strip"):"
            cpu_line "$label" 20
            stop "$app"; app=""
        done
    done
    exit 0
fi

if [ "$mode" = long-titles ]; then
    feeds="$work/feeds"
    mkdir -p "$feeds"
    python3 - "$feeds" <<'PY'
import datetime, sys
words = "rates hold as markets weigh the long road ahead council votes on harbour plan after storm".split()
def title(i, length):
    out = [f"Story {i}:"]
    n = len(out[0])
    w = i
    while n < length:
        out.append(words[w % len(words)]); n += len(out[-1]) + 1; w += 1
    return " ".join(out)[:length]
now = datetime.datetime.now(datetime.timezone.utc)
for name, length in (("long", 100 * 1024), ("short", 70)):
    items = "".join(
        f"<item><title>{title(i, length)}</title><link>https://local{i}.example/story/{i}</link>"
        f"<pubDate>{(now - datetime.timedelta(minutes=i)).strftime('%a, %d %b %Y %H:%M:%S +0000')}</pubDate></item>"
        for i in range(20))
    with open(f"{sys.argv[1]}/{name}.xml", "w") as f:
        f.write(f'<?xml version="1.0"?><rss version="2.0"><channel><title>Local</title>{items}</channel></rss>')
PY
    python3 -m http.server 0 --bind 127.0.0.1 --directory "$feeds" >"$work/feeds.out" 2>&1 &
    feed_server=$!
    wait_for 100 grep -q "port" "$work/feeds.out" || { echo "feed server did not start" >&2; exit 1; }
    feed_port=$(grep -o 'port [0-9]*' "$work/feeds.out" | awk '{ print $2 }')
    for variant in short long; do
        mkdir -p "$XDG_CONFIG_HOME/tidewire"
        rm -rf "$XDG_CACHE_HOME"
        cat >"$XDG_CONFIG_HOME/tidewire/defaults.json" <<JSON
{
    "scrollSpeed": 10,
    "personalFeeds.v1": [{"id": "pf-6f1c2b9e-3d4a-4e8b-9c1d-2a3b4c5d6e7f",
                          "url": "http://127.0.0.1:$feed_port/$variant.xml", "title": "Local",
                          "isEnabled": true, "addedAt": "2026-01-01T00:00:00Z", "itemCount": 0}]
}
JSON
        launch "titles-$variant"
        sleep 60
        kill -0 "$app" 2>/dev/null || { echo "the app ended early" >&2; exit 1; }
        rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$app/status")
        printf "%-5s titles: resident %6s MiB, private anonymous %6s MiB, %d-byte feed\n" "$variant" \
            "$(mib "$rss")" "$(mib "$(anon_kb)")" "$(stat -c %s "$feeds/$variant.xml")"
        stop "$app"; app=""
    done
    stop "$feed_server"
    exit 0
fi

if [ "$mode" = day ]; then
    write_settings 8 true
    started=$(now_ms)
    launch day
    sleep 5
    period=$(grep -o 'strip rebuilt: [0-9]* cells, period [0-9.]*' "$work/app-day.log" \
        | awk '{ if ($6 + 0 > p) p = $6 + 0 } END { print p + 0 }' || true)
    if [ -n "${CYCLE_SECONDS:-}" ]; then
        cycle=$CYCLE_SECONDS
    elif awk -v p="$period" 'BEGIN { exit !(p > 0) }'; then
        cycle=$(awk -v p="$period" 'BEGIN { printf "%d", p / 480 + 0.999 }')
    else
        echo "no strip period in the log: set CYCLE_SECONDS" >&2; exit 1
    fi
    echo "main strip period: ${period} px, one cycle at speed 8: ${cycle} s"
    # Samples: every whole minute, and the end of each cycle.
    cycles=${CYCLES:-2}
    samples=$( { echo "$cycle first"; [ "$cycles" -lt 2 ] || echo "$((2 * cycle)) second"; seq 60 60 $((cycles * cycle)) | sed 's/$/ minute/'; } \
        | sort -n -k1,1 -s | awk '!seen[$1]++ || $2 != "minute"' )
    first_kb=0
    while read -r at what; do
        t=$(now_ms)
        due=$(( started + 1000 * at ))
        [ "$due" -le "$t" ] || sleep "$(awk -v ms=$(( due - t )) 'BEGIN { print ms / 1000 }')"
        kill -0 "$app" 2>/dev/null || { echo "the app ended early" >&2; exit 1; }
        kb=$(anon_kb)
        case $what in
            minute) printf "private memory at %4d s:             %6s MiB\n" "$at" "$(mib "$kb")" ;;
            first) first_kb=$kb
                   printf "private memory after the first cycle: %6s MiB\n" "$(mib "$kb")" ;;
            second) printf "private memory after two cycles:      %6s MiB\n" "$(mib "$kb")"
                    printf "growth over the second cycle:         %6s MiB\n" "$(mib $(( kb - first_kb )))" ;;
        esac
    done <<<"$samples"
    if [ -n "$tracer" ]; then
        kill "$app"; wait "$tracer" 2>/dev/null || true; app="" tracer=""
    fi
    exit 0
fi

launch cold
cold=$frame_ms
sleep 3  # the refreshed snapshot is written in the meantime
stop "$app"; app=""

started=$(now_ms)
launch warm
warm=$frame_ms
sleep 10  # past start-up, into steady scrolling
measure_cpu 20
scroll_app=$app_ticks scroll_x=$x_ticks

# Paused: the pointer rests on the headlines (the strip is docked at the top,
# full width; the scroller fills it right of the brand block).
xdotool mousemove 1200 12
sleep 1
measure_cpu 10
paused_app=$app_ticks paused_x=$x_ticks
xdotool mousemove 960 700

# Hidden: the strip window unmapped.
wait_for 100 has_strip_window || { echo "the app has no mapped window" >&2; exit 1; }
strip=$(strip_window)
xdotool windowunmap --sync "$strip"
sleep 1
measure_cpu 10
hidden_app=$app_ticks hidden_x=$x_ticks
xdotool windowmap "$strip"

rest=$(( 60000 - ($(now_ms) - started) ))
[ "$rest" -le 0 ] || sleep "$(awk -v ms="$rest" 'BEGIN { print ms / 1000 }')"
anon_kb=$(awk '/^Anonymous:/ { print $2 }' "/proc/$app/smaps_rollup")

awk -v cold="$cold" -v warm="$warm" -v a="$scroll_app" -v x="$scroll_x" -v hz="$hz" -v kb="$anon_kb" \
    -v pa="$paused_app" -v px="$paused_x" -v ha="$hidden_app" -v hx="$hidden_x" 'BEGIN {
    printf "first headlines frame, no snapshot:   %6d ms\n", cold
    printf "first headlines frame, with snapshot: %6d ms\n", warm
    printf "CPU over 20 s, app:                   %6.1f %%\n", 100 * a / hz / 20
    printf "CPU over 20 s, X server:              %6.1f %%\n", 100 * x / hz / 20
    printf "CPU over 20 s, together:              %6.1f %%\n", 100 * (a + x) / hz / 20
    printf "CPU over 10 s paused, app / X server: %6.1f %% / %.1f %% (%d / %d ticks of 1/%d s)\n", \
        100 * pa / hz / 10, 100 * px / hz / 10, pa, px, hz
    printf "CPU over 10 s hidden, app / X server: %6.1f %% / %.1f %% (%d / %d ticks of 1/%d s)\n", \
        100 * ha / hz / 10, 100 * hx / hz / 10, ha, hx, hz
    printf "private anonymous memory at 60 s:     %6.1f MiB\n", kb / 1024
}'
