#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what lands where.
#
#   install_test.sh layout   BUILD_DIR   the files a desktop expects
#   install_test.sh readonly BUILD_DIR   the installed programs run from a bin/
#                                        the user cannot write (root only: a
#                                        read-only bind mount in a private
#                                        mount namespace)
#
# Exit status: 0 passed, 1 failed, 77 skipped.
set -euo pipefail
mode="$1"
build="$2"
SKIP=77

say() { echo "install_test: $*"; }
fail() {
    say "FAILED: $*"
    exit 1
}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/usr"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
    cat "$work/install.log"
    fail "cmake --install"
}

case "$mode" in
layout)
    expected=(
        bin/mirodex
        bin/mirodex-lookup
        share/applications/mirodex.desktop
        share/icons/hicolor/scalable/apps/mirodex.svg
        share/man/man1/mirodex.1
        share/man/man1/mirodex-lookup.1
        share/metainfo/com.pellinor.mirodex.metainfo.xml
        share/mirodex/PrivateTel.txt
        share/mirodex/PublicTel.txt
    )
    for size in 16 24 32 48 64 128 256; do
        expected+=("share/icons/hicolor/${size}x${size}/apps/mirodex.png")
    done
    for f in "${expected[@]}"; do
        [ -f "$prefix/$f" ] || fail "not installed: $f"
    done
    for f in bin/mirodex bin/mirodex-lookup; do
        [ -x "$prefix/$f" ] || fail "not executable: $f"
    done
    # Each PNG is the size its folder says.
    for size in 16 24 32 48 64 128 256; do
        png="$prefix/share/icons/hicolor/${size}x${size}/apps/mirodex.png"
        dims="$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')"
        [ "$dims" = "${size}x${size}" ] || fail "$png is $dims"
    done
    desktop="$prefix/share/applications/mirodex.desktop"
    grep -qx 'Name=Lumeo电话簿' "$desktop" || fail "desktop entry: Name"
    grep -qx 'Exec=mirodex' "$desktop" || fail "desktop entry: Exec"
    grep -qx 'Icon=mirodex' "$desktop" || fail "desktop entry: Icon"
    grep -qx 'Categories=Office;ContactManagement;' "$desktop" || fail "desktop entry: Categories"
    if command -v desktop-file-validate >/dev/null 2>&1; then
        desktop-file-validate "$desktop" || fail "desktop-file-validate"
    fi
    if command -v appstreamcli >/dev/null 2>&1; then
        appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/com.pellinor.mirodex.metainfo.xml" ||
            fail "appstreamcli validate"
    fi
    say "layout passed"
    ;;
readonly)
    if [ "$(id -u)" -ne 0 ]; then
        say "SKIP: needs root for a read-only bind mount of the installed bin/"
        exit $SKIP
    fi
    if ! unshare --mount --propagation private true 2>/dev/null; then
        say "SKIP: cannot make a private mount namespace here (unshare --mount)"
        exit $SKIP
    fi
    home="$work/home"
    mkdir -p "$home/config" "$home/data" "$home/runtime"
    chmod 700 "$home/runtime"
    # The mount lives only as long as the namespace, so nothing is left behind.
    export prefix home
    unshare --mount --propagation private bash -euo pipefail <<'EOF' || exit $?
say() { echo "install_test: $*"; }
fail() { say "FAILED: $*"; exit 1; }
bin="$prefix/bin"
if ! mount --bind "$bin" "$bin" || ! mount -o remount,bind,ro "$bin"; then
    say "SKIP: the read-only bind mount failed"
    exit 77
fi
if touch "$bin/probe" 2>/dev/null; then
    fail "$bin is still writable"
fi
export XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime"
export QT_QPA_PLATFORM=offscreen
unset WAYLAND_DISPLAY DISPLAY DBUS_SESSION_BUS_ADDRESS
data="$XDG_DATA_HOME/Pellinor/Mirodex"
sample="$prefix/share/mirodex/PublicTel.txt"

# The terminal front end only reads: its default books are in the data folder.
status=0
"$bin/mirodex-lookup" >/dev/null 2>"$home/lookup.err" || status=$?
[ "$status" -eq 1 ] || fail "mirodex-lookup with no books ended with $status"
grep -qF "$data/PrivateTel.txt" "$home/lookup.err" || fail "private book not looked for in $data: $(cat "$home/lookup.err")"
grep -qF "$data/PublicTel.txt" "$home/lookup.err" || fail "public book not looked for in $data: $(cat "$home/lookup.err")"

# The window program's first start copies the sample public book there. It then
# waits with a message about the missing private book, so it is stopped once the
# copy is in place.
"$bin/mirodex" >"$home/mirodex.log" 2>&1 &
pid=$!
for _ in $(seq 200); do
    [ -s "$data/PublicTel.txt" ] && [ -s "$XDG_CONFIG_HOME/Pellinor/Mirodex.conf" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
cmp -s "$sample" "$data/PublicTel.txt" || fail "the sample public book was not copied to $data: $(cat "$home/mirodex.log")"
[ ! -e "$data/PrivateTel.txt" ] || fail "the private book should not be made up"
store="$XDG_CONFIG_HOME/Pellinor/Mirodex.conf"
for key in LogFilePath DebugFilePath SrvTxlFile LocalTxlFile; do
    grep -q "^$key=$data/" "$store" || fail "$key does not point into $data: $(grep "^$key=" "$store")"
done

# Now the installed lookup finds the sample's entries through its defaults.
"$bin/mirodex-lookup" >"$home/default.out" 2>/dev/null || true
"$bin/mirodex-lookup" --public "$sample" >"$home/sample.out" 2>/dev/null || true
[ -s "$home/default.out" ] || fail "mirodex-lookup lists nothing from $data"
cmp -s "$home/default.out" "$home/sample.out" || fail "mirodex-lookup does not read the copied sample"
say "read-only install passed ($(wc -l <"$home/default.out") entries from the copied sample)"
EOF
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
