#!/bin/sh
# Runs a command against a private, unlocked gnome-keyring on a private session
# bus, so secret-store tests never see the user's own keyring and need no
# desktop session (CI runs as root with no session bus at all).
#
#   run-with-keyring.sh <command> [args...]
#   run-with-keyring.sh --without-login-keyring <command> [args...]
#   run-with-keyring.sh --without-service <command> [args...]
#
# The command sees TIDEWIRE_SECRET_TEST=keyring and, in
# TIDEWIRE_KEYRING_PASSWORD, the password of the login keyring. With
# --without-login-keyring gnome-keyring runs without ever having made a login
# keyring (as on a desktop where none was created or unlocked at login), and
# the command sees TIDEWIRE_SECRET_TEST=no-keyring. With --without-service it
# runs on a private session bus where nothing provides or can start
# org.freedesktop.secrets (as in a desktop session without a keyring), and
# sees TIDEWIRE_SECRET_TEST=no-service. When dbus-run-session or
# gnome-keyring-daemon is not installed, the command still runs, with
# TIDEWIRE_SECRET_TEST=missing:<what is missing>, so the tests can skip with
# that reason instead of passing silently.
#
# Register a test with it like this:
#   add_test(NAME my.secret.test
#            COMMAND ${PROJECT_SOURCE_DIR}/tests/support/run-with-keyring.sh
#                    $<TARGET_FILE:my_tests> --gtest_filter=Keyring*)
#
# How the keyring is set up, and why:
# - HOME, XDG_RUNTIME_DIR and the XDG data/config/cache folders point into a
#   fresh temporary folder before the bus starts. dbus-daemon hands its own
#   environment to anything it activates, so even a keyring the bus starts on
#   demand lands in the temporary folder, and a running desktop keyring
#   (found through XDG_RUNTIME_DIR/keyring) is never reached.
# - gnome-keyring-daemon --unlock reads a password on stdin and creates the
#   "login" keyring with it, which becomes the "default" collection that
#   libsecret stores into. The password must not be empty: with an empty one
#   the daemon creates no login keyring, and making a default collection
#   later needs an interactive prompt, which a headless run cannot answer.
#   The session collection would avoid that, but it is not where the app
#   stores its secrets, so the tests would not exercise the real path.
# - The daemon runs in the foreground under this script, which stops it and
#   removes the temporary folder afterwards.
set -eu

if [ "${1:-}" = "--inside-bus" ]; then
    shift
    login=true
    if [ "${1:-}" = "--no-login" ]; then
        login=false
        shift
    fi
    if [ "$login" = true ]; then
        printf '%s' "$TIDEWIRE_KEYRING_PASSWORD" |
            gnome-keyring-daemon --foreground --unlock --components=secrets \
                >"$TIDEWIRE_KEYRING_DIR/daemon.log" 2>&1 &
    else
        gnome-keyring-daemon --foreground --components=secrets \
            </dev/null >"$TIDEWIRE_KEYRING_DIR/daemon.log" 2>&1 &
    fi
    daemon=$!
    trap 'kill "$daemon" 2>/dev/null || true; wait "$daemon" 2>/dev/null || true' EXIT

    # Ask the bus (not the keyring, which the bus would start on demand)
    # until the daemon owns its name, then until "login" is the default
    # (with a login keyring).
    tries=0
    until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
            grep -q 'boolean true' &&
          { [ "$login" = false ] ||
            dbus-send --session --print-reply --dest=org.freedesktop.secrets /org/freedesktop/secrets \
              org.freedesktop.Secret.Service.ReadAlias string:default 2>/dev/null |
              grep -q 'collection/login'; }; do
        tries=$((tries + 1))
        # A minute at most: on a loaded machine the daemon can take long.
        if [ "$tries" -gt 1200 ] || ! kill -0 "$daemon" 2>/dev/null; then
            echo "run-with-keyring: gnome-keyring did not come up (login keyring: $login)" >&2
            cat "$TIDEWIRE_KEYRING_DIR/daemon.log" >&2 || true
            exit 1
        fi
        sleep 0.05
    done

    mode=keyring
    [ "$login" = true ] || mode=no-keyring
    status=0
    TIDEWIRE_SECRET_TEST=$mode "$@" || status=$?
    exit "$status"
fi

without_service=false
inside="--inside-bus"
if [ "${1:-}" = "--without-service" ]; then
    without_service=true
    shift
elif [ "${1:-}" = "--without-login-keyring" ]; then
    inside="--inside-bus --no-login"
    shift
fi

missing=""
tools="dbus-run-session dbus-send gnome-keyring-daemon"
[ "$without_service" = false ] || tools="dbus-run-session"
for tool in $tools; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    echo "run-with-keyring: not installed:$missing" >&2
    TIDEWIRE_SECRET_TEST="missing:$missing (install them with scripts/install-deps)" exec "$@"
fi

TIDEWIRE_KEYRING_DIR=$(mktemp -d "${TMPDIR:-/tmp}/tidewire-keyring.XXXXXX")
trap 'rm -rf "$TIDEWIRE_KEYRING_DIR"' EXIT
export TIDEWIRE_KEYRING_DIR
# The login keyring's password, for tests that lock the keyring and need to
# unlock it again without a prompt.
export TIDEWIRE_KEYRING_PASSWORD="tidewire-test-password"
export HOME="$TIDEWIRE_KEYRING_DIR/home"
export XDG_RUNTIME_DIR="$TIDEWIRE_KEYRING_DIR/run"
export XDG_DATA_HOME="$HOME/.local/share"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_CACHE_HOME="$HOME/.cache"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS GNOME_KEYRING_CONTROL SSH_AUTH_SOCK DISPLAY WAYLAND_DISPLAY

status=0
if [ "$without_service" = true ]; then
    # A bus configuration with no service directories: nothing is activatable.
    dbus-run-session --config-file="$(dirname "$0")/no-secret-service-bus.conf" -- \
        env TIDEWIRE_SECRET_TEST=no-service "$@" || status=$?
else
    # shellcheck disable=SC2086 # two words on purpose
    dbus-run-session -- "$0" $inside "$@" || status=$?
fi
exit "$status"
