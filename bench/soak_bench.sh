#!/usr/bin/env bash
# Fault-injected soak: the real app on a private Xvfb display with openbox,
# against the sample catalogue server in fault mode, for a given time.
#
#   bench/soak_bench.sh [build-dir] [seconds] [fault-share] [warm-up-seconds]
#       defaults: build-release (built if missing), 600 s, 0.3, 300 s
#
# The app first starts against a healthy server and shows its headlines; the
# server is then restarted on the same port with --faults, so that this share
# of its GET answers is a 500, 503, 429, closed connection, truncated body,
# malformed JSON, stalled body or 304 for an unknown ETag. After the warm-up
# (by default one refresh period: the strip has scrolled through its
# headlines and filled its picture and icon caches) the app's private
# anonymous memory (smaps_rollup) is the baseline; it is sampled every 30 s
# to the end.
#
# Checks (exit 1 when one fails):
#   - the app never exits and its strip window stays mapped;
#   - it never reports a failure that no fault explains: "HTTP <code>" only
#     after that code was served, a decoding failure only after malformed
#     JSON, a time-out only after a stalled body; and it keeps the last good
#     headlines (it never logs that it has none);
#   - private memory grows by less than 2 MiB from the baseline to the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
seconds=${2:-600}
share=${3:-0.3}
warmup=${4:-300}

if [ ! -x "$build/src/app/tidewire" ] || [ ! -x "$build/tools/catalogue-server/catalogue-server" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIDEWIRE_TESTS=OFF -DTIDEWIRE_BENCH=OFF >/dev/null
    cmake --build "$build" --target tidewire catalogue-server
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tidewire-soak.XXXXXX")
xvfb="" wm="" server="" app=""
stop() { [ -z "$1" ] || { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }; }
cleanup() { stop "$app"; stop "$server"; stop "$wm"; stop "$xvfb"; [ -n "${KEEP_SOAK:-}" ] || rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 130' INT TERM
wait_for() {  # wait_for <tries of 50 ms> <command...>
    local tries=$1; shift
    until "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.05
    done
}
fail() { echo "FAIL: $*" >&2; failed=1; }
failed=0

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
wait_for 200 test -s "$work/display" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
wait_for 200 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' \
    || { echo "openbox did not start" >&2; exit 1; }

# start_server <log> [options]: in $server, on $port once known.
start_server() {
    local log=$1; shift
    : >"$work/server.out"
    "$build/tools/catalogue-server/catalogue-server" --port "${port:-0}" --verbose "$@" >"$work/server.out" 2>"$log" &
    server=$!
    wait_for 100 test -s "$work/server.out" || { echo "catalogue server did not start" >&2; exit 1; }
}
start_server "$work/server-healthy.log"
base=$(head -n 1 "$work/server.out")
port=$(echo "$base" | sed -E 's|.*:([0-9]+)/.*|\1|')
export TIDEWIRE_API_BASE="$base" TIDEWIRE_FAVICON_BASE="$base" TIDEWIRE_FINNHUB_BASE="$base"
export TIDEWIRE_COINGECKO_BASE="$base" TIDEWIRE_ITUNES_BASE="$base"
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data"
export QT_LOGGING_RULES="tidewire.client.launch.debug=true"

log="$work/app.log"
: >"$log"
"$build/src/app/tidewire" >/dev/null 2>"$log" &
app=$!
wait_for 1200 grep -q "first headlines frame" "$log" || { echo "the strip never showed headlines" >&2; cat "$log" >&2; exit 1; }
started=$(date +%s)

stop "$server"
start_server "$work/server-faults.log" --faults "$share" --seed 3

anon_kib() { awk '/^Anonymous:/ { print $2 }' "/proc/$app/smaps_rollup"; }
strip_mapped() { [ -n "$(xdotool search --onlyvisible --pid "$app" 2>/dev/null | head -n 1)" ]; }
baseline="" samples=()
while [ $(( $(date +%s) - started )) -lt "$seconds" ]; do
    sleep 30
    kill -0 "$app" 2>/dev/null || { fail "the app exited"; break; }
    strip_mapped || fail "the strip window is not mapped at $(( $(date +%s) - started )) s"
    kib=$(anon_kib)
    if [ -z "$baseline" ] && [ $(( $(date +%s) - started )) -ge "$warmup" ]; then baseline=$kib; fi
    samples+=("$kib")
done
final=${samples[-1]:-0}

count() { grep -c -- "$1" "$2" || true; }
served() { count "^fault $1 " "$work/server-faults.log"; }
requests=$(grep -cE '^(GET|POST|PUT|DELETE|PATCH) ' "$work/server-faults.log" || true)
echo "soak: ${seconds} s against --faults $share; $requests answers, of them faults:"
for f in 500 503 429 close truncate malformed stall 304; do printf '  %-10s %4d\n' "$f" "$(served "$f")"; done
echo "failures the app reported (log lines):"
{ grep -E 'failed|HTTP [0-9]{3}' "$log" || echo "none"; } | sed -E 's/^[^:]*: //' | sort | uniq -c | sort -rn | head -20 \
    | sed 's/^/  /'

for code in 500 503 429; do
    if [ "$(served "$code")" -eq 0 ] && grep -q "HTTP $code" "$log"; then fail "the app reported HTTP $code, never served"; fi
done
if [ "$(served malformed)" -eq 0 ] && grep -qiE 'invalid JSON|Cannot parse' "$log"; then fail "a decoding failure without malformed JSON"; fi
if [ "$(served stall)" -eq 0 ] && grep -qi 'timed out' "$log"; then fail "a time-out without a stalled body"; fi
if grep -q "No active feeds" "$log"; then fail "the app lost its headlines"; fi

growth=$(( final - ${baseline:-final} ))
echo "private anonymous memory: $(awk -v k="${baseline:-0}" 'BEGIN { printf "%.2f", k / 1024 }') MiB after warm-up," \
     "$(awk -v k="$final" 'BEGIN { printf "%.2f", k / 1024 }') MiB at the end, growth $(awk -v k="$growth" 'BEGIN { printf "%.2f", k / 1024 }') MiB"
echo "samples (KiB every 30 s): ${samples[*]}"
[ "$growth" -lt 2048 ] || fail "memory grew by $growth KiB"
[ "$failed" -eq 0 ] && echo "soak: passed" || { echo "soak: FAILED" >&2; exit 1; }
