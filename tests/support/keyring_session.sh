#!/usr/bin/env bash
# keyring_session.sh MODE PROGRAM [ARGS...]
#
# Runs PROGRAM on a private session bus of its own (dbus-run-session), in a
# throw-away home, so no test ever reaches the user's bus or keyring.
#   MODE keyring: a real Secret Service on that bus, gnome-keyring-daemon with
#                 a fresh login keyring, unlocked.
#   MODE bare:    the bus alone; nothing on it keeps passwords.
# Exits 77 (skipped) when the tools are missing.
set -euo pipefail

mode="$1"
shift
tools=(dbus-run-session dbus-send)
[ "$mode" = keyring ] && tools+=(gnome-keyring-daemon)
for tool in "${tools[@]}"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "keyring_session: $tool not found, skipped (scripts/setup installs it)"
        exit 77
    fi
done

home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/run" "$home/data" "$home/config" "$home/bus"
chmod 700 "$home/run"
export HOME="$home" XDG_RUNTIME_DIR="$home/run" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
# Tells the test's own start-up to keep this bus.
export MIRODEX_TEST_BUS=1 MIRODEX_TEST_BUS_MODE="$mode"

# The bus starts nothing by itself: no service files, so no desktop service of
# this machine (a keyring, a prompter) appears on it unasked.
cat >"$home/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$home/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF

set +e
dbus-run-session --config-file="$home/bus.conf" -- bash -c '
    set -eu
    if [ "$MIRODEX_TEST_BUS_MODE" = keyring ]; then
        # A password on standard input creates the login keyring and unlocks it.
        printf "keyring-of-a-test" | gnome-keyring-daemon --unlock --components=secrets --daemonize >/dev/null
        for _ in $(seq 100); do
            if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
                org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
                grep -q "boolean true"; then
                exec "$@"
            fi
            sleep 0.1
        done
        echo "keyring_session: the Secret Service did not come up on the test bus" >&2
        exit 1
    fi
    exec "$@"
' keyring_session "$@"
status=$?
exit "$status"
