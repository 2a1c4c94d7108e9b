#!/usr/bin/env bash
# Installs what is missing, builds Tidewire (Release) and starts it on the
# current X display. Without TIDEWIRE_API_BASE it first starts the sample
# catalogue server on a free loopback port, points the app at it, and stops
# it when the app exits.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps

build=${TIDEWIRE_RUN_BUILD_DIR:-build-release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIDEWIRE_TESTS=OFF -DTIDEWIRE_BENCH=OFF >/dev/null
cmake --build "$build" --target tidewire catalogue-server -j "$(nproc)"

if [ -z "${DISPLAY:-}" ]; then
    cat >&2 <<'HELP'
run.sh: no X display (DISPLAY is not set). Tidewire is an X11 dock window
(XWayland on Wayland sessions). To run it on a virtual display:
    xvfb-run -a -s "-screen 0 1920x1080x24" ./run.sh
HELP
    exit 1
fi

server_pid=""
app_pid=""
stop_server() {
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    [ -z "${server_out:-}" ] || rm -f "$server_out"
}
trap stop_server EXIT
trap 'exit 130' INT TERM

# Whether Tidewire already runs in this session: its name on the session bus,
# or else a live process holding its lock in the runtime folder.
tidewire_running() {
    if dbus-send --session --print-reply --reply-timeout=1000 --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.tidewire.Tidewire 2>/dev/null | grep -q 'boolean true'; then
        return 0
    fi
    local lock="${XDG_RUNTIME_DIR:-${TMPDIR:-/tmp}/runtime-$(id -un)}/tidewire.lock" pid=""
    read -r pid 2>/dev/null <"$lock" || return 1
    [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = tidewire ]
}

# A running copy takes this start over (it brings its settings window
# forward), so it needs no catalogue server of its own.
if [ -z "${TIDEWIRE_API_BASE:-}" ] && ! tidewire_running; then
    server_out=$(mktemp "${TMPDIR:-/tmp}/tidewire-catalogue.XXXXXX")
    "$build/tools/catalogue-server/catalogue-server" --port 0 >"$server_out" &
    server_pid=$!
    # The server prints its base URL as its first line once it answers.
    for _ in $(seq 1 100); do
        [ -s "$server_out" ] && break
        kill -0 "$server_pid" 2>/dev/null || { echo "run.sh: the sample catalogue server did not start" >&2; exit 1; }
        sleep 0.05
    done
    base=$(head -n 1 "$server_out")
    [ -n "$base" ] || { echo "run.sh: the sample catalogue server reported no address" >&2; exit 1; }
    echo "run.sh: sample catalogue at $base"
    export TIDEWIRE_API_BASE="$base"
    export TIDEWIRE_FAVICON_BASE="${TIDEWIRE_FAVICON_BASE:-$base}"
    export TIDEWIRE_FINNHUB_BASE="${TIDEWIRE_FINNHUB_BASE:-$base}"
    export TIDEWIRE_COINGECKO_BASE="${TIDEWIRE_COINGECKO_BASE:-$base}"
    export TIDEWIRE_ITUNES_BASE="${TIDEWIRE_ITUNES_BASE:-$base}"
fi

# In the background so that a stop of this script also stops the app.
"$build/src/app/tidewire" "$@" &
app_pid=$!
status=0
wait "$app_pid" || status=$?
app_pid=""
exit "$status"
