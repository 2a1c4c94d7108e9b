#!/bin/sh
# Runs a command on a private D-Bus session bus on which nothing can be
# activated, so bus tests never reach the user's own desktop services and
# need no desktop session (CI runs as root without a session bus).
#
#   run-on-private-bus.sh <command> [args...]
#
# The command sees TIDEWIRE_BUS_TEST=private. When dbus-run-session is not
# installed it still runs, with TIDEWIRE_BUS_TEST=missing:<what is missing>,
# so the tests can skip with that reason instead of passing silently.
set -eu

if ! command -v dbus-run-session >/dev/null 2>&1; then
    echo "run-on-private-bus: not installed: dbus-run-session" >&2
    TIDEWIRE_BUS_TEST="missing: dbus-run-session (install it with scripts/install-deps)" exec "$@"
fi

unset DBUS_SESSION_BUS_ADDRESS
config="$(dirname "$0")/../support/no-secret-service-bus.conf"
exec dbus-run-session --config-file="$config" -- env TIDEWIRE_BUS_TEST=private "$@"
